// skfdemo: a host program that loads tokencore from its file, the way SKF host programs do,
// and walks a key through devices, applications, PINs, containers, certificates, files and
// signatures, one line per step. Exit code 0 when every step that the library supports
// succeeded, 1 when one failed, 2 when the program could not start.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "examples/demo.h"

namespace {

constexpr char kLibraryName[] = "libtokencore.so";

void Usage() {
  std::fprintf(stderr,
               "usage: skfdemo --cert FILE --message FILE --out DIR [--lib FILE] [--key NAME]\n"
               "               [--id TEXT] [--device-key TEXT]\n"
               "  --cert FILE        DER certificate to store on the key\n"
               "  --message FILE     data to sign\n"
               "  --out DIR          where the public keys and signatures are written\n"
               "  --lib FILE         tokencore (default: %s beside this program)\n"
               "  --key NAME         reader name of the key (default: the first listed)\n"
               "  --id TEXT          SM2 signer ID (default: ALICE123@YAHOO.COM)\n"
               "  --device-key TEXT  device authentication key (default: 1234567812345678)\n",
               kLibraryName);
}

// This program's folder, from the link the kernel keeps to its file.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  char *slash = std::strrchr(path, '/');
  if (!slash) return ".";
  *slash = '\0';
  return path;
}

bool ParseOptions(int argc, char **argv, Options *options) {
  struct Flag {
    const char *name;
    std::string *value;
  };
  const Flag flags[] = {{"--cert", &options->certificate},
                        {"--message", &options->message},
                        {"--out", &options->out_dir},
                        {"--lib", &options->library},
                        {"--key", &options->key},
                        {"--id", &options->id},
                        {"--device-key", &options->device_key}};
  for (int i = 1; i < argc; i += 2) {
    const Flag *flag = nullptr;
    for (const Flag &f : flags) {
      if (std::strcmp(argv[i], f.name) == 0) flag = &f;
    }
    if (!flag || i + 1 >= argc) return false;
    *flag->value = argv[i + 1];
  }
  if (options->library.empty()) options->library = ProgramFolder() + "/" + kLibraryName;
  return !options->certificate.empty() && !options->message.empty() && !options->out_dir.empty() &&
         !options->id.empty();
}

void Disconnect(Demo &demo) {
  const char step[] = "disconnect";
  if (!demo.device) return;
  if (!Available(demo.report, demo.api, step, {"SKF_DisConnectDev"})) return;
  StepResult(demo.report, step, "SKF_DisConnectDev", demo.api.SKF_DisConnectDev(demo.device),
             "\"" + demo.device_name + "\"");
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    Usage();
    return 2;
  }
  Exports api;
  Demo demo{.api = api, .options = options};
  if (!ReadHostFile(options.certificate, &demo.certificate) || demo.certificate.empty() ||
      !ReadHostFile(options.message, &demo.message) || demo.message.empty()) {
    std::fprintf(stderr, "skfdemo: cannot read %s or %s (or one is empty)\n",
                 options.certificate.c_str(), options.message.c_str());
    return 2;
  }
  std::string error;
  if (!LoadExports(options.library, &api, &error)) {
    StepFailed(demo.report, "load tokencore", error);
    return 2;
  }
  const std::size_t total = ExportCount();
  StepOk(demo.report, "load tokencore",
         options.library + ", " + std::to_string(total - api.missing.size()) + " of " +
             std::to_string(total) + " exports this demo uses are present");

  RunDeviceSteps(demo);
  RunObjectSteps(demo);
  RunSigningSteps(demo);
  Disconnect(demo);

  std::printf("skfdemo: %d steps ok, %d failed, %d skipped\n", demo.report.ok, demo.report.failed,
              demo.report.skipped);
  return demo.report.failed == 0 ? 0 : 1;
}
