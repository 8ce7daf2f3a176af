// The document's finding kinds by name, and the findings an earlier JSON
// report holds, which -accept takes as kept on purpose.

#include "document/document.h"

#include <nlohmann/json.hpp>
#include <iterator>
#include <string>
#include <utility>

#include "shared/files.h"
#include "shared/output.h"
#include "platform/platform.h"

namespace {

// The kinds by name; "any" stands for several.
const kind_name kinds[] = {
  {"differ", document_differ}, {"older", document_older},   {"kept", document_kept},
  {"rerun", document_rerun},   {"foreign", document_foreign}, {"outside", document_outside},
  {"any", document_any}};

// Return the key of a finding of KIND about the copies PATHS with the
// contents HASHES.
std::string key_of(const std::string &kind, const std::vector<std::string> &paths,
                   const std::vector<std::string> &hashes)
{
  std::string key = kind;
  for (size_t i = 0; i < paths.size(); i++)
    key += '\n' + paths[i] + '\t' + (i < hashes.size() ? hashes[i] : "");
  return key;
}

} // namespace

const char *document_kind_name(unsigned kind)
{
  return name_of_kind(kinds, std::size(kinds), kind);
}

bool parse_document_kinds(const std::string &list, unsigned *bits, std::string *bad)
{
  return parse_kind_list(list, kinds, std::size(kinds), bits, bad);
}

std::vector<size_t> finding_copies(const document_file &f, unsigned kind)
{
  std::vector<size_t> copies{0};
  bool compared = kind == document_differ || kind == document_older || kind == document_kept ||
                  kind == document_foreign;
  if (compared && f.compared > 0)
    copies.push_back(static_cast<size_t>(f.compared));
  if (kind == document_rerun && f.rerun == rerun_another)
    copies.push_back(1);
  return copies;
}

std::string finding_key(const document_file &f, unsigned kind)
{
  std::vector<std::string> paths, hashes;
  for (size_t c : finding_copies(f, kind)) {
    paths.push_back(platform::display_path(f.copies[c].copy.path));
    hashes.push_back(f.copies[c].copy.file.hash);
  }
  return key_of(document_kind_name(kind), paths, hashes);
}

void hash_finding_copies(document_report &report)
{
  for (document_file &f : report.files)
    for (unsigned kind = 1; kind <= document_outside; kind <<= 1)
      if ((f.findings & kind) != 0)
        for (size_t c : finding_copies(f, kind)) {
          file_copy &copy = f.copies[c].copy;
          if (copy.file.hash.empty() && copy.file.state == file_ok)
            copy.file.hash = content_hash(copy.path);
        }
}

unsigned document_findings(const document_report &report)
{
  unsigned all = 0;
  for (const document_file &f : report.files)
    all |= f.findings & ~f.accepted;
  return all;
}

bool read_document_accepted(const std::string &file, document_accepted *accepted,
                            std::string *why)
{
  std::string text, error;
  if (!read_whole_file(file, text, &error)) {
    *why = file + ": " + error;
    return false;
  }
  nlohmann::json report = nlohmann::json::parse(text, nullptr, false);
  if (report.is_discarded() || !report.is_object() || !report.contains("files") ||
      !report["files"].is_array() || !report.contains("program")) {
    *why = file + ": not a report of -document -json";
    return false;
  }
  for (const nlohmann::json &f : report["files"]) {
    if (!f.is_object() || !f.contains("findings") || !f["findings"].is_array())
      continue;
    for (const nlohmann::json &finding : f["findings"]) {
      if (!finding.is_object() || !finding.value("kind", nlohmann::json()).is_string())
        continue;
      std::vector<std::string> paths, hashes;
      for (const char *key : {"paths", "hashes"})
        if (finding.contains(key) && finding[key].is_array())
          for (const nlohmann::json &item : finding[key])
            if (item.is_string())
              (key[0] == 'p' ? paths : hashes).push_back(item.get<std::string>());
      accepted->push_back(key_of(finding["kind"].get<std::string>(), paths, hashes));
    }
  }
  return true;
}
