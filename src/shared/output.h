// What the reports of every mode print names with: escaped for a terminal
// and whole in JSON.
#ifndef LSRCHECK_OUTPUT_H
#define LSRCHECK_OUTPUT_H

#include <cstddef>
#include <ctime>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

// Return S with control characters and backslashes escaped as `ls -b`
// shows them (\n, \t, \033, \\), so that one name is one line; a path
// as display_path spells it.
std::string escaped(const std::string &s);

// Set KEY of J to the bytes S (a path as display_path spells it): a string where S is valid UTF-8; otherwise
// S with each bad byte shown as U+FFFD, and KEY_bytes the bytes in hex.
void put_bytes(nlohmann::ordered_json &j, const std::string &key, const std::string &s);

// Return J as text, bad bytes shown as U+FFFD (put_bytes kept them whole).
std::string json_text(const nlohmann::ordered_json &j);

// Return N and the noun ONE, or MANY where N is not 1 (ONE with an "s"
// where MANY is empty): "1 group", "2 groups", "3 entries".
std::string counted(size_t n, const std::string &one, const std::string &many = "");

// Return time T as local "YYYY-MM-DD HH:MM", or "" where it has none.
std::string time_text(time_t t);

// A kind of finding, as -fail-on and the JSON reports name it, and its bit.
typedef std::pair<const char *, unsigned> kind_name;

// Return the name of the kind KIND (one bit) among the COUNT KINDS.
const char *name_of_kind(const kind_name *kinds, size_t count, unsigned kind);

// Add to *BITS the kinds of the COUNT KINDS that LIST names ("differ,any")
// and return true, or set *BAD to the first name that is none and return
// false.
bool parse_kind_list(const std::string &list, const kind_name *kinds, size_t count,
                     unsigned *bits, std::string *bad);

#endif
