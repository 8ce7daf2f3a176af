// The document's report as text and as JSON.

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "document/document.h"
#include "shared/output.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// The JSON document's schema version (docs/document-schema.md).
const int schema_version = 1;

const char *const class_keys[] = {"document",      "user",    "site", "distribution", "format",
                                  "configuration", "outside", "run"};
const char *const state_keys[] = {"ok", "missing", "dangling", "unreadable", "not-regular",
                                  "unchecked"};
// The kinds in the order a file's findings are told.
const unsigned kinds_in_order[] = {document_foreign, document_rerun,  document_older,
                                   document_differ,  document_kept,   document_outside};

// Return whose copy C is: "the document's", "TEXMFHOME's", "the distribution's".
std::string owner_text(const document_copy &c)
{
  switch (c.where) {
  case class_document: return "the document's";
  case class_user:
  case class_site: return c.tree + "'s";
  case class_distribution: return "the distribution's";
  case class_format: return c.tree.empty() ? "another installation's" : c.tree + "'s";
  case class_configuration: return c.tree.empty() ? "another installation's" : c.tree + "'s";
  default: return "outside the installation";
  }
}

// Return where the copy C is kept: "the document", "TEXMFHOME".
std::string kept_in_text(const document_copy &c)
{
  return c.where == class_document ? "the document" : c.tree;
}

// Return true if PATH names a kind of TeX source that declares itself
// (\ProvidesPackage...): where it declares nothing, that is worth saying.
bool declaring_name_p(const std::string &path)
{
  for (const char *suffix : {".sty", ".cls", ".clo", ".cfg", ".def", ".fd", ".ldf", ".tex"})
    if (platform::ends_with_p(path, suffix))
      return true;
  return false;
}

// Return what declaration D says: "2022/09/04 v2.5g", "no date".
std::string declared_text(const declaration_facts &d)
{
  std::string text = d.date + (!d.date.empty() && !d.version.empty() ? " " : "") + d.version;
  return text.empty() ? "no date" : text;
}

// Return, where the dates of A and B were read from the files though LaTeX
// was asked and could not answer, why; else "".
std::string reader_note(const file_copy &a, const file_copy &b, const std::string &why)
{
  for (const file_copy *c : {&a, &b})
    if (!c->declaration.by_latex && !c->declaration.latex_why.empty())
      return " (dates read from the files, not asked of LaTeX: " + c->declaration.latex_why + ")";
  return why.empty() ? "" : " (dates read from the files, not asked of LaTeX: " + why + ")";
}

// Return what finding KIND of F says, for the report R.
std::string finding_text(const document_report &r, const document_file &f, unsigned kind)
{
  const document_copy &read = f.copies[0];
  const document_copy *other = f.compared >= 0 ? &f.copies[f.compared] : nullptr;
  std::string path = escaped(read.copy.path);
  switch (kind) {
  case document_older:
    return "it declares " + read.copy.declaration.date + ", older than " + owner_text(*other) +
           " copy behind it (" + other->copy.declaration.date + "): removing it (" +
           platform::remove_command(read.copy.path) + ") would load that one" +
           reader_note(read.copy, other->copy, r.latex_why);
  case document_differ:
    return "it differs from " + owner_text(*other) + " copy behind it, which it hides";
  case document_kept:
    return other->where == class_distribution
               ? "the distribution's own copy, kept in " + kept_in_text(read) +
                     ": it will hide updates"
               : "the same bytes as " + owner_text(*other) + " copy behind it";
  case document_rerun:
    if (f.rerun == rerun_gone)
      return "gone since the run: run the document again";
    if (f.rerun == rerun_changed)
      return "changed since the run (" + time_text(read.copy.file.mtime) +
             "): run the document again";
    return "the installation loads another copy now, " + escaped(f.copies[1].copy.path) +
           ": run the document again";
  case document_foreign:
    if (read.where == class_configuration)
      return "not one of this installation's texmf.cnf (" +
             (r.configuration.empty() ? std::string("none found") : escaped(r.configuration[0])) +
             "): the run was made by another TeX";
    if (f.foreign == foreign_absent)
      return "this installation has no format " + escaped(f.looked_up) + " for " + r.program;
    if (f.foreign == foreign_user_format)
      return "a per-user format (fmtutil-user makes them) in front of the system's, " +
             escaped(other->copy.path) + ": updates of the system's do not reach it; " +
             platform::remove_command(read.copy.path) + " loads the system's again";
    return "not the format this installation loads, " + escaped(other->copy.path) +
           ": the run was made by another TeX";
  case document_outside:
    return "read from outside every tree of the installation, from " +
           escaped(std::string(directory_of(read.copy.path)));
  }
  return path;
}

// Return the facts of the copy C on one line: its place, size, time,
// declaration and package.
std::string copy_facts(const document_copy &c)
{
  const file_facts &f = c.copy.file;
  std::string text = owner_text(c);
  if (f.state != file_ok)
    return text + ", " + (f.state == file_missing || f.state == file_dangling ? "gone" : "could not check" + (f.why.empty() ? "" : " (" + escaped(f.why) + ")"));
  text += ", " + counted(static_cast<size_t>(f.size), "byte") + ", " + time_text(f.mtime);
  if (!c.copy.declaration.date.empty() || declaring_name_p(c.copy.path))
    text += ", declares " + declared_text(c.copy.declaration);
  if (c.copy.declaration.by_latex)
    text += " (as LaTeX records it)";
  const copy_owner &o = c.copy.owner;
  if (!o.package.empty() || !o.texlive_package.empty())
    text += ", package " + (o.package.empty() ? o.texlive_package : o.package);
  return text;
}

// Write F, with a finding, in full on OUT.
void print_finding_file(const document_report &r, const document_file &f, FILE *out)
{
  const document_copy &read = f.copies[0];
  std::string name = f.looked_up.empty() ? std::string(base_name(read.copy.path)) : f.looked_up;
  fprintf(out, "%s\n", escaped(name).c_str());
  fprintf(out, "  read     %s\n           %s\n", escaped(read.copy.path).c_str(),
          copy_facts(read).c_str());
  for (size_t c = 1; c < f.copies.size(); c++)
    if (static_cast<int>(c) == f.compared || static_cast<int>(c) == f.loads_now)
      fprintf(out, "  %-8s %s\n           %s\n",
              static_cast<int>(c) == f.loads_now ? "first" : "behind",
              escaped(f.copies[c].copy.path).c_str(), copy_facts(f.copies[c]).c_str());
  for (unsigned kind : kinds_in_order) {
    if ((f.findings & kind) == 0 || (kind == document_differ && (f.findings & document_older)))
      continue;
    fprintf(out, "  %s: %s%s\n", document_kind_name(kind), finding_text(r, f, kind).c_str(),
            (f.accepted & kind) != 0 ? " (accepted)" : "");
  }
  putc('\n', out);
}

// Return the counts of R's files by class, in one line: "96 files of the
// distribution, 3 of the document, 1 format".
std::string class_counts(const document_report &r)
{
  size_t counts[class_count] = {};
  for (const document_file &f : r.files)
    counts[f.copies[0].where]++;
  const file_class order[] = {class_distribution, class_document, class_user,
                              class_site,         class_format,   class_configuration,
                              class_outside,      class_run};
  std::string text;
  for (file_class c : order) {
    size_t n = counts[c];
    if (n == 0)
      continue;
    std::string part = text.empty() && c != class_format && c != class_configuration
                           ? counted(n, "file")
                           : std::to_string(n);
    switch (c) {
    case class_distribution: part += " of the distribution"; break;
    case class_document: part += " of the document"; break;
    case class_user: part += " of the user's trees"; break;
    case class_site: part += " of the site's tree"; break;
    case class_format: part += n == 1 ? " format" : " formats"; break;
    case class_configuration: part += " texmf.cnf"; break;
    case class_outside: part += " from outside the installation"; break;
    default: part += " written by the run and read back"; break;
    }
    text += (text.empty() ? "" : ", ") + part;
  }
  return text.empty() ? "no files" : text;
}

// Return true if F has a finding that is a problem (not a note), not accepted.
bool problem_p(const document_file &f)
{
  return (f.findings & ~f.accepted & document_any) != 0;
}

} // namespace

void print_document(const document_report &r, bool list_all, FILE *out)
{
  fprintf(out, "The run of %s (engine %s) recorded in %s, %s, in %s.\n", r.program.c_str(),
          r.engine.c_str(), escaped(r.record.source).c_str(), time_text(r.record.when).c_str(),
          escaped(r.record.pwd).c_str());
  if (r.program_assumed)
    fprintf(out, "The record names no format: looked up as %s.\n", r.program.c_str());
  if (r.record.from_log)
    fprintf(out, "Read from the log, which may not name every file the run read: %s -recorder "
                 "writes the whole list (.fls).\n", r.program.c_str());
  fprintf(out, "Each file as it is now, looked up as %s from the run's directory.\n\n",
          r.program.c_str());
  size_t problems = 0, notes = 0, accepted = 0;
  for (int pass = 0; pass < 2; pass++)
    for (const document_file &f : r.files) {
      bool problem = problem_p(f), note = f.findings != 0 && !problem;
      if ((pass == 0 && problem) || (pass == 1 && note))
        print_finding_file(r, f, out);
      problems += pass == 0 && problem;
      notes += pass == 0 && note;
      accepted += pass == 0 && f.accepted != 0;
    }
  if (list_all) {
    fputs("Every file, in the order the run read them:\n", out);
    for (const document_file &f : r.files)
      fprintf(out, "  %-13s %s\n", class_keys[f.copies[0].where],
              escaped(f.copies[0].copy.path).c_str());
    putc('\n', out);
  }
  fprintf(out, "%s.\n", class_counts(r).c_str());
  fprintf(out, "Summary: %s with problems, %s with notes", counted(problems, "file").c_str(),
          counted(notes, "file").c_str());
  if (accepted > 0)
    fprintf(out, ", %s with accepted findings", counted(accepted, "file").c_str());
  fputs(".\n", out);
}

void print_document_json(const document_report &r, FILE *out)
{
  using json = nlohmann::ordered_json;
  json j;
  j["schema_version"] = schema_version;
  put_bytes(j, "record", r.record.source);
  j["from_log"] = r.record.from_log;
  put_bytes(j, "pwd", r.record.pwd);
  j["time"] = static_cast<long long>(r.record.when);
  j["program"] = r.program;
  j["engine"] = r.engine;
  j["program_assumed"] = r.program_assumed;
  j["configuration"] = json::array();
  for (const std::string &cnf : r.configuration)
    j["configuration"].push_back(platform::display_path(cnf));
  json files = json::array();
  size_t counts[class_count] = {};
  for (const document_file &f : r.files) {
    counts[f.copies[0].where]++;
    json file;
    put_bytes(file, "recorded", f.recorded);
    file["class"] = class_keys[f.copies[0].where];
    file["looked_up"] = f.looked_up.empty() ? json() : json(f.looked_up);
    json copies = json::array();
    for (const document_copy &c : f.copies) {
      json copy;
      put_bytes(copy, "path", c.copy.path);
      copy["class"] = class_keys[c.where];
      copy["tree"] = c.tree;
      copy["state"] = state_keys[c.copy.file.state];
      copy["size"] = c.copy.file.size;
      copy["mtime"] = static_cast<long long>(c.copy.file.mtime);
      copy["content"] = c.copy.file.mark;
      copy["date"] = c.copy.declaration.date;
      copy["version"] = c.copy.declaration.version;
      copy["by_latex"] = c.copy.declaration.by_latex;
      copy["package"] = c.copy.owner.package;
      copy["texlive_package"] = c.copy.owner.texlive_package;
      copies.push_back(copy);
    }
    file["copies"] = copies;
    file["read_at"] = f.read_at;
    file["loads_now"] = f.loads_now;
    file["compared"] = f.compared;
    json findings = json::array();
    for (unsigned kind : kinds_in_order)
      if ((f.findings & kind) != 0) {
        json finding;
        finding["kind"] = document_kind_name(kind);
        finding["problem"] = (kind & document_any) != 0;
        finding["accepted"] = (f.accepted & kind) != 0;
        finding["text"] = finding_text(r, f, kind);
        for (size_t c : finding_copies(f, kind)) {
          finding["paths"].push_back(platform::display_path(f.copies[c].copy.path));
          finding["hashes"].push_back(f.copies[c].copy.file.hash);
        }
        findings.push_back(finding);
      }
    file["findings"] = findings;
    files.push_back(file);
  }
  j["files"] = files;
  json classes;
  for (size_t c = 0; c < class_count; c++)
    classes[class_keys[c]] = counts[c];
  j["summary"]["classes"] = classes;
  json kinds;
  for (unsigned kind : kinds_in_order) {
    size_t n = 0;
    for (const document_file &f : r.files)
      n += (f.findings & ~f.accepted & kind) != 0;
    kinds[document_kind_name(kind)] = n;
  }
  j["summary"]["findings"] = kinds;
  fprintf(out, "%s\n", json_text(j).c_str());
}
