// The lines for the user that the Tip forms of QX_AddCertToIE write, in code page 936.
#pragma once

extern const char kArrivalText[];      // "USBKey已经插入。"
extern const char kCountLineFormat[];  // "有%d张证书导入到IE中。"
