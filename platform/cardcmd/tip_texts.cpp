#include "platform/cardcmd/tip_texts.h"

const char kArrivalText[] = "USBKey已经插入。";
const char kCountLineFormat[] = "有%d张证书导入到IE中。";
