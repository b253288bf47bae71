#include "pin_texts_gbk.h"

#include "skf/card/pin_texts.h"

namespace gbk {

const char *const kCaption = kPinCaption;
const char *const kDescription = kPinDialogText;
const char *const kFieldLabel = kPinFieldLabel;
// The buttons' texts are the dialog resource's alone.
const char *const kOkButton = "确定[&O]";
const char *const kCancelButton = "取消[&C]";

}  // namespace gbk
