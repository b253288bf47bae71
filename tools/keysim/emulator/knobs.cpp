// Knobs by name: the values keysimctl and the daemon protocol pass as text.
#include <charconv>

#include "emulator.h"

namespace keysim {

namespace {

bool fail(std::string *err, std::string msg) {
  if (err) *err = std::move(msg);
  return false;
}

bool parse_switch(std::string_view v, std::string_view on, std::string_view off, bool &out) {
  if (v == on) return out = true, true;
  if (v == off) return out = false, true;
  return false;
}

template <typename T>
bool parse_number(std::string_view v, T &out, int base = 10) {
  if (v.empty()) return false;
  const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), out, base);
  return ec == std::errc() && p == v.data() + v.size();
}

// "off" or a count N >= 1 of commands from now; the knob holds the absolute command number.
bool parse_at(const Card &card, std::string_view v, uint64_t &at) {
  if (v == "off") return at = 0, true;
  uint64_t n = 0;
  if (!parse_number(v, n) || n == 0) return false;
  at = card.stats.total + n;
  return true;
}

}  // namespace

bool card_set_knob(Card &card, std::string_view name, std::string_view value, std::string *err) {
  Knobs &k = card.knobs;
  const std::string bad = "bad value '" + std::string(value) + "' for knob " + std::string(name);
  if (name == "pin_mode") {
    if (!parse_switch(value, "protected", "plain", k.pin_protected))
      return fail(err, bad + " (plain | protected)");
  } else if (name == "extended") {
    if (!parse_switch(value, "on", "off", k.extended_length)) return fail(err, bad + " (on | off)");
  } else if (name == "max_data") {
    uint32_t m = 0;
    if (!parse_number(value, m) || m == 0) return fail(err, bad + " (a number above 0)");
    k.max_data_length = m;
  } else if (name == "chaining") {
    if (!parse_switch(value, "on", "off", k.chaining)) return fail(err, bad + " (on | off)");
  } else if (name == "sm2_order") {
    if (!parse_switch(value, "c1c2c3", "c1c3c2", k.sm2_c1c2c3))
      return fail(err, bad + " (c1c3c2 | c1c2c3)");
  } else if (name == "delete_6d00") {
    if (!parse_switch(value, "on", "off", k.delete_6d00)) return fail(err, bad + " (on | off)");
  } else if (name == "builtin_key") {
    if (!parse_switch(value, "on", "off", k.builtin_key)) return fail(err, bad + " (on | off)");
  } else if (name == "fault_sw") {
    if (value == "off") {
      k.fault_sw_at = 0;
      return true;
    }
    const size_t colon = value.find(':');
    uint16_t s = 0;
    uint64_t at = 0;
    if (colon == std::string_view::npos || value.size() - colon - 1 != 4 ||
        !parse_number(value.substr(colon + 1), s, 16) ||
        !parse_at(card, value.substr(0, colon), at))
      return fail(err, bad + " (N:XXXX | off)");
    k.fault_sw_at = at;
    k.fault_sw = s;
  } else if (name == "fault_reader") {
    if (!parse_at(card, value, k.fault_reader_at)) return fail(err, bad + " (N | off)");
  } else if (name == "remove_at") {
    if (!parse_at(card, value, k.remove_at)) return fail(err, bad + " (N | off)");
  } else {
    return fail(err, "unknown knob " + std::string(name));
  }
  return true;
}

}  // namespace keysim
