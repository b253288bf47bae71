// The demo's look at certdesk (./run demo): starts certdesk beside this program on the keys of
// KEYSIM_ADDR, waits until its tree lists a certificate, selects it, saves the window as
// certdesk_demo.png beside the program, prints the tree and closes certdesk. Exit code 0 when
// the picture was saved.
#include <windows.h>

#include <cstdio>

#include "certdesk_app.h"
#include "tests/desktop/support/screenshot.h"

int main() {
  using namespace certdesk_test;
  Certdesk app;
  if (!app.Start()) {
    std::fprintf(stderr, "certdesk did not open its window\n");
    return 1;
  }
  const bool listed = desktop::WaitUntil(
      [&] {
        const auto tree = app.Tree();
        return !tree.empty() && !tree[0].children.empty();
      },
      30000);
  const auto tree = app.Tree();
  std::printf("certdesk lists: %s\n", Describe(Texts(tree)).c_str());
  if (listed) desktop::SelectItem(app.tree(), tree[0].children[0].item);
  const bool saved = listed && SaveWindowScreenshot(app.main(), "certdesk_demo.png");
  if (!listed) std::fprintf(stderr, "certdesk lists no certificate\n");
  app.Close();
  return saved ? 0 : 1;
}
