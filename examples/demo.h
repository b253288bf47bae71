// The demonstration's state, passed from step to step, and the three groups of steps.
#pragma once

#include <string>
#include <vector>

#include "examples/der.h"
#include "examples/exports.h"
#include "examples/report.h"

struct Options {
  std::string library;                          // tokencore's file
  std::string certificate;                      // DER certificate to store on the key
  std::string message;                          // file whose contents are signed
  std::string out_dir;                          // where the public keys and signatures are written
  std::string key;                              // reader name to use; empty: the first one listed
  std::string id = "ALICE123@YAHOO.COM";        // the SM2 signer's ID
  std::string device_key = "1234567812345678";  // the key's device authentication key
  std::string user_pin = "12345678";
  std::string admin_pin = "88888888";
};

// Names of what the demo creates on the key.
inline constexpr char kAppName[] = "SKFDEMO";
inline constexpr char kSm2Container[] = "SKFDEMO-SM2";
inline constexpr char kRsaContainer[] = "SKFDEMO-RSA";
inline constexpr char kFileName[] = "hello.txt";
inline constexpr char kWrongPin[] = "00000000";

struct Demo {
  const Exports &api;
  const Options &options;
  Report report{};
  Bytes certificate{};
  Bytes message{};
  std::string device_name{};
  bool first_listed = false;
  bool formatted = false;  // the key holds an application directory
  DEVHANDLE device = nullptr;
  HAPPLICATION application = nullptr;
  HCONTAINER sm2_container = nullptr;
  bool pin_verified = false;
};

// List, connect, format when the key has no application directory, device information, device
// authentication.
void RunDeviceSteps(Demo &demo);
// Application, PIN, container, certificate, file and list steps.
void RunObjectSteps(Demo &demo);
// SM2 and RSA key pairs generated on the key, digests through the library, signatures.
void RunSigningSteps(Demo &demo);

// Names of a multi-string ("a\0b\0\0").
std::vector<std::string> SplitNames(const std::vector<char> &list);
std::string JoinNames(const std::vector<std::string> &names);
std::string Hex(const std::uint8_t *data, std::size_t size);
bool WriteHostFile(const std::string &path, const std::string &text);
bool ReadHostFile(const std::string &path, Bytes *data);
