// keysimd requests.
#include "requests.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <thread>

#include "session_log.h"

namespace keysimd {

using keysim::proto::Bytes;
using keysim::proto::kReaderPrefix;
using keysim::proto::Op;
using keysim::proto::Reader;
using keysim::proto::Result;
using keysim::proto::Writer;
namespace proto = keysim::proto;

namespace {

Bytes reply_of(Result r) {
  Writer w;
  w.u8(uint8_t(r));
  return w.body;
}

Bytes failure(std::string_view why) {
  Writer w;
  w.u8(uint8_t(Result::failed));
  w.text(why.substr(0, 1000));
  return w.body;
}

Bytes list_readers(Store &store) {
  std::vector<std::string> names;
  {
    std::lock_guard g(store.lock);
    for (auto &k : store.keys)
      if (k->inserted) names.push_back(std::string(kReaderPrefix) + k->name);
  }
  std::sort(names.begin(), names.end());
  Writer w;
  w.u8(uint8_t(Result::ok));
  w.u16(uint16_t(names.size()));
  for (auto &n : names) w.text(n);
  return w.body;
}

Bytes open_reader(Store &store, const std::string &reader) {
  if (!reader.starts_with(kReaderPrefix)) return reply_of(Result::no_key);
  Key *key = find_key(store, reader.substr(kReaderPrefix.size()));
  if (!key) return reply_of(Result::no_key);
  std::lock_guard g(key->lock);
  if (!key->inserted) return reply_of(Result::no_key);
  Writer w;
  w.u8(uint8_t(Result::ok));
  w.u32(key->id);
  w.u32(key->generation);
  return w.body;
}

// Requests on an open key: key id and generation, then the op's own fields.
Bytes on_handle(Store &store, Op op, Reader &r) {
  uint32_t id = r.u32(), generation = r.u32();
  Bytes command;
  if (op == Op::transmit) command = r.blob(proto::kMaxApdu);
  if (!r.done()) return reply_of(Result::bad_request);
  Key *key = key_by_id(store, id);
  if (!key) return reply_of(Result::no_key);
  std::lock_guard g(key->lock);
  if (!key->inserted || key->generation != generation) return reply_of(Result::removed);
  Writer w;
  switch (op) {
    case Op::transmit: {
      keysim::Answer a;
      Result res = run_command(*key, command, a);
      log_answer(store.log_dir, *key, res, a.data, a.sw);
      if (res != Result::ok) return reply_of(res);
      w.u8(uint8_t(Result::ok));
      w.u16(a.sw);
      w.blob(std::span(a.data).first(std::min(a.data.size(), proto::kMaxAnswer)));
      return w.body;
    }
    case Op::reset:
      key->atr = keysim::card_reset(key->card);
      w.u8(uint8_t(Result::ok));
      w.blob(key->atr);
      return w.body;
    case Op::descriptor:
      w.u8(uint8_t(Result::ok));
      w.text(keysim::card_descriptor_text(key->card));
      return w.body;
    default:
      w.u8(uint8_t(Result::ok));
      w.u32(keysim::card_max_data_length(key->card));
      return w.body;
  }
}

// The daemon's own knob: a key that answers slowly. Kept in memory only, not in the key file.
constexpr std::string_view kAnswerDelay = "answer_delay";
constexpr uint32_t kAnswerDelayMax = 60000;

bool set_answer_delay(Key &key, std::string_view value) {
  uint32_t ms = 0;
  if (value == "off") return key.answer_delay_ms = 0, true;
  const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
  if (value.empty() || ec != std::errc() || p != value.data() + value.size() ||
      ms > kAnswerDelayMax)
    return false;
  key.answer_delay_ms = ms;
  return true;
}

Bytes text_reply(const std::string &text) {
  Writer w;
  w.u8(uint8_t(Result::ok));
  w.blob(std::span(reinterpret_cast<const uint8_t *>(text.data()),
                   std::min(text.size(), proto::kMaxText)));
  return w.body;
}

Bytes list_keys(Store &store) {
  Writer w;
  w.u8(uint8_t(Result::ok));
  std::lock_guard g(store.lock);
  w.u16(uint16_t(store.keys.size()));
  for (auto &k : store.keys) {
    w.text(k->name);
    w.u8(k->inserted ? 1 : 0);
  }
  return w.body;
}

Bytes on_key(Store &store, Op op, Reader &r) {
  std::string name = r.text(proto::kMaxName);
  if (op == Op::create) {
    uint32_t serial = r.u32();
    uint8_t flags = r.u8();
    if (!r.done() || flags > 1) return reply_of(Result::bad_request);
    std::string err;
    return create_key(store, name, serial, flags & 1, &err) ? reply_of(Result::ok) : failure(err);
  }
  std::string knob, value;
  if (op == Op::knob) {
    knob = r.text(64);
    value = r.text(256);
  }
  if (!r.done()) return reply_of(Result::bad_request);
  Key *key = find_key(store, name, op == Op::insert);
  if (!key) return reply_of(Result::no_key);
  std::lock_guard g(key->lock);
  switch (op) {
    case Op::insert:
      if (!key->inserted) {
        key->inserted = true;
        ++key->generation;
        key->atr = keysim::card_reset(key->card);  // a fresh insertion starts from reset
      }
      return reply_of(Result::ok);
    case Op::remove:
      key->inserted = false;
      return reply_of(Result::ok);
    case Op::knob: {
      if (knob == kAnswerDelay) {
        return set_answer_delay(*key, value)
                   ? reply_of(Result::ok)
                   : failure("bad value '" + value +
                             "' for knob answer_delay (milliseconds | off)");
      }
      std::string err;
      if (!keysim::card_set_knob(key->card, knob, value, &err)) return failure(err);
      return save_key(*key) ? reply_of(Result::ok) : failure("key file not saved");
    }
    case Op::dump:
      return text_reply(keysim::card_dump(key->card));
    default:
      return text_reply(keysim::card_stats(key->card));
  }
}

}  // namespace

Result run_command(Key &key, std::span<const uint8_t> command, keysim::Answer &answer) {
  answer = keysim::card_transmit(key.card, command);
  if (key.answer_delay_ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(key.answer_delay_ms));
  }
  // A change that did not reach the key's file is no success.
  if (answer.changed && !save_key(key)) return Result::reader_failure;
  switch (answer.event) {
    case keysim::Event::removed:
      key.inserted = false;
      return Result::removed;
    case keysim::Event::reader_failure:
      return Result::reader_failure;
    default:
      return Result::ok;
  }
}

Bytes serve_request(Store &store, std::span<const uint8_t> body, bool *stop) {
  Reader r{body};
  Op op = Op(r.u8());
  switch (op) {
    case Op::list:
      return r.done() ? list_readers(store) : reply_of(Result::bad_request);
    case Op::open: {
      std::string reader = r.text(255);
      return r.done() ? open_reader(store, reader) : reply_of(Result::bad_request);
    }
    case Op::transmit:
    case Op::reset:
    case Op::descriptor:
    case Op::reader_info:
      return on_handle(store, op, r);
    case Op::keys:
      return r.done() ? list_keys(store) : reply_of(Result::bad_request);
    case Op::insert:
    case Op::remove:
    case Op::knob:
    case Op::dump:
    case Op::stats:
    case Op::create:
      return on_key(store, op, r);
    case Op::shutdown:
      if (!r.done()) return reply_of(Result::bad_request);
      *stop = true;
      return reply_of(Result::ok);
  }
  return reply_of(Result::bad_request);
}

}  // namespace keysimd
