// The texts of the PIN dialog and its message boxes.
#pragma once

inline constexpr char kPinCaption[] = "USBKey密码验证";
inline constexpr char kPinDialogText[] = "您好，现在需要验证您的USBKey密码";
inline constexpr char kPinFieldLabel[] = "USBKey密码：";
inline constexpr char kPinLengthMessage[] = "对不起，您输入的密码长度不正确，请重新输入！";
inline constexpr char kPinCharacterMessage[] =
    "只能使用4～16位的数字、字母或其组合作为USBKey密码，请重新输入。";
inline constexpr char kPinLockedMessage[] =
    "对不起，您的USBKey已被锁，请带好您的USBKey办理证书恢复手续！";
inline constexpr char kPinLastTryMessage[] =
    "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！";
// %d is the number of retries left.
inline constexpr char kPinRetryMessage[] =
    "对不起，您输入的USBKey密码不正确，还有 %d 次重试机会，请重新输入！";
