// The texts certdesk shows: UTF-8 here, code page 936 in the program (token_user_text).
#pragma once

namespace certdesk {

inline constexpr char kMainCaption[] = "数字证书用户工具";  // window and viewer title
inline constexpr char kMessageCaption[] = "数字证书用户工具-提示";
inline constexpr char kNoKey[] = "没有USBKey";

inline constexpr char kRegisterDone[] = "注册证书成功！";
inline constexpr char kRegisterFailed[] = "注册证书失败！";
inline constexpr char kFormatLibraryMissing[] = "调用初始化动态库失败！";
inline constexpr char kFormatWarning[] =
    "如设备中存在有效证书，请慎用初始化功能，初始化会删除USBKey中的证书！";
inline constexpr char kFormatDone[] = "初始化设备成功！";
inline constexpr char kFormatFailed[] = "初始化设备失败！";

inline constexpr char kVerifyDone[] = "验证USBKey密码成功！";
inline constexpr char kVerifyFailed[] = "验证USBKey密码失败！";
inline constexpr char kChangeDone[] = "修改USBKey密码成功！";
inline constexpr char kChangeFailed[] = "修改USBKey密码失败！";
inline constexpr char kKeyLocked[] = "对不起，您的USBKey已被锁！";
inline constexpr char kLastTry[] =
    "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！";
inline constexpr char kTriesLeftFormat[] =
    "对不起，您输入的USBKey密码不正确，还有 %d 次重试机会，请重新输入！";
inline constexpr char kPinLengthWrong[] = "对不起，您输入的密码长度不正确，请重新输入！";
inline constexpr char kPinCharacters[] =
    "只能使用16位内的数字、字母或其组合作为USBKey密码，请重新输入。";
inline constexpr char kNewPinCharacters[] =
    "只能使用4～8位的数字、字母或其组合作为USBKey密码，请重新输入。";
inline constexpr char kNewPinMismatch[] = "对不起，您两次输入的新密码不一致，请重新输入！";

}  // namespace certdesk
