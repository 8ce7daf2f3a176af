#include "explain/accept.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "copies/copies.h"
#include "explain/findings.h"
#include "platform/platform.h"

namespace {

using json = nlohmann::ordered_json;

// The largest report read: far more than any installation's.
const size_t report_limit = 1024 * 1024 * 1024;

// Return the key of a finding of KIND in group NAME that involves the
// members MEMBERS, each (path, content hash).
std::string finding_key(const std::string &name, const std::string &kind,
                        std::vector<std::pair<std::string, std::string>> members)
{
  std::sort(members.begin(), members.end());
  std::string key = name + '\n' + kind;
  for (const auto &[path, hash] : members)
    key += '\n' + path + '\t' + hash;
  return key;
}

// Return the value of the hex digit C; 0 for any other byte.
int hex_digit(char c)
{
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 0;
}

// Return the bytes of the hex digits HEX.
std::string from_hex(const std::string &hex)
{
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(hex_digit(hex[i]) * 16 + hex_digit(hex[i + 1]));
  return bytes;
}

// Return the bytes of the field KEY of J, kept whole in KEY_bytes where
// they are no UTF-8.
std::string bytes_of(const json &j, const std::string &key)
{
  if (j.contains(key + "_bytes"))
    return from_hex(j[key + "_bytes"].get<std::string>());
  return j[key].get<std::string>();
}

// Add the findings of the report DOC to *ACCEPTED; throw json's own
// exceptions where DOC is not shaped as a report.
void add_report_findings(const json &doc, accepted_findings *accepted)
{
  for (const json &g : doc.at("groups")) {
    std::string name = bytes_of(g, "name");
    const json &members = g.at("members");
    for (const json &f : g.at("findings")) {
      std::vector<std::pair<std::string, std::string>> involved;
      for (const json &n : f.at("members")) {
        const json &m = members.at(n.get<size_t>() - 1);
        involved.emplace_back(bytes_of(m, "path"), m.at("content_hash").is_null()
                                                       ? ""
                                                       : m["content_hash"].get<std::string>());
      }
      accepted->insert(finding_key(name, f.at("kind").get<std::string>(), involved));
    }
  }
}

} // namespace

bool read_accepted(const std::string &file, accepted_findings *accepted, std::string *why)
{
  int fd, error;
  struct stat st;
  platform::open_result opened = platform::open_regular(file, &fd, &st, &error);
  if (opened != platform::open_ok) {
    *why = "cannot read " + file + ": " + platform::open_failure_text(opened, st, error);
    return false;
  }
  platform::owned_file owned(fd);
  std::string text;
  if (!platform::read_up_to(fd, report_limit, text)) {
    *why = "cannot read " + file + ": " + strerror(errno);
    return false;
  }
  json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains("programs") ||
      !doc.contains("schema_version") || !doc["schema_version"].is_number_integer() ||
      doc["schema_version"].get<int>() < 3) {
    *why = file + " is not a report of -explain -json (schema version 3 or later)";
    return false;
  }
  // A report edited by hand may lack a field or give it another type: the
  // JSON library says which, by an exception that ends here.
  try {
    add_report_findings(doc, accepted);
  } catch (const json::exception &e) {
    std::string what = e.what();
    *why = file + " is not a report of -explain -json: " + what.substr(what.find("] ") + 2);
    return false;
  }
  return true;
}

void hash_finding_members(explained_report &report)
{
  for (group_info &g : report.groups)
    for (const finding &f : g.findings)
      for (size_t i : f.members) {
        member_info &m = g.members[i];
        if (m.copy.file.hash.empty() && m.copy.file.state == file_ok)
          m.copy.file.hash = content_hash(m.copy.path);
      }
}

void accept_findings(explained_report &report, const accepted_findings &accepted)
{
  for (group_info &g : report.groups) {
    for (finding &f : g.findings) {
      std::vector<std::pair<std::string, std::string>> involved;
      for (size_t i : f.members)
        involved.emplace_back(g.members[i].copy.path, g.members[i].copy.file.hash);
      f.accepted =
          accepted.count(finding_key(g.name, finding_kind_name(f.kind), involved)) > 0;
    }
    tally_findings(g);
  }
}
