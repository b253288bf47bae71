// The PIN dialog's texts as the Windows library holds them: compiled for the GBK execution
// character set, as tokencore is, so they are the code page 936 bytes a host reads back.
#pragma once

namespace gbk {

extern const char *const kCaption;
extern const char *const kDescription;
extern const char *const kFieldLabel;
extern const char *const kOkButton;
extern const char *const kCancelButton;

}  // namespace gbk
