#pragma once
// Message identifiers of the terminal protocol. Commands go PC -> terminal,
// replies terminal -> PC. Some command identifiers name steps or wait states
// (CmdID values) rather than frames; they are listed at the end.

#include <cstdint>
#include <string_view>

namespace tavro::link {

// Commands (PC to terminal).
inline constexpr std::uint16_t MsgResendRequest = 12006;
inline constexpr std::uint16_t MsgBlImageBlock = 12011;
inline constexpr std::uint16_t MsgBlHelloAck = 12021;
inline constexpr std::uint16_t MsgConnect = 12022;
inline constexpr std::uint16_t MsgLinkQuery = 12023;
inline constexpr std::uint16_t MsgReadAppInfo = 12025;
inline constexpr std::uint16_t MsgAppBackupStart = 12035;
inline constexpr std::uint16_t MsgAppBackupAck = 12038;
inline constexpr std::uint16_t MsgParaBackupStart = 12045;
inline constexpr std::uint16_t MsgParaBackupAck = 12048;
inline constexpr std::uint16_t MsgParaBackupStartEx = 12049;
inline constexpr std::uint16_t MsgAppDownloadStart = 12055;
inline constexpr std::uint16_t MsgAppBlock = 12056;
inline constexpr std::uint16_t MsgGoBack = 12065;
inline constexpr std::uint16_t MsgParaDownloadStart = 12070;
inline constexpr std::uint16_t MsgParaBlock = 12071;
inline constexpr std::uint16_t MsgRamBlock = 12080;
inline constexpr std::uint16_t MsgFlashRead = 12100;
inline constexpr std::uint16_t MsgFlashReadAck = 12103;
inline constexpr std::uint16_t MsgFlashWriteBlock = 12110;
inline constexpr std::uint16_t MsgE2Read = 12120;
inline constexpr std::uint16_t MsgE2ReadAck = 12123;
inline constexpr std::uint16_t MsgE2WriteBlock = 12130;
inline constexpr std::uint16_t MsgRamHelloAck = 12503;
inline constexpr std::uint16_t MsgRamContinueAck = 12506;
inline constexpr std::uint16_t MsgE2CheckResultAck = 12508;

// Replies (terminal to PC).
inline constexpr std::uint16_t MsgHello = 12005;
inline constexpr std::uint16_t MsgRxTimeout = 12007;
inline constexpr std::uint16_t MsgText = 12008;
inline constexpr std::uint16_t MsgBlUpgradeReady = 12010;
inline constexpr std::uint16_t MsgBlBlockAck = 12012;
inline constexpr std::uint16_t MsgBlHello = 12020;
inline constexpr std::uint16_t MsgLinkQueryReply = 12024;
inline constexpr std::uint16_t MsgAppInfo = 12026;
inline constexpr std::uint16_t MsgDataInfo = 12031;
inline constexpr std::uint16_t MsgNoDataInfo = 12032;
inline constexpr std::uint16_t MsgAppBackupBlock = 12036;
inline constexpr std::uint16_t MsgAppBackupNone = 12037;
inline constexpr std::uint16_t MsgParaBackupBlock = 12046;
inline constexpr std::uint16_t MsgParaIntegErr = 12047;
inline constexpr std::uint16_t MsgParaUploadErr = 12050;
inline constexpr std::uint16_t MsgAppBlockAck = 12057;
inline constexpr std::uint16_t MsgDataBackupState = 12058;
inline constexpr std::uint16_t MsgGoBackResult = 12066;
inline constexpr std::uint16_t MsgParaBlockAck = 12072;
inline constexpr std::uint16_t MsgParaDownloadState = 12073;
inline constexpr std::uint16_t MsgParaDownloadErr = 12074;
inline constexpr std::uint16_t MsgRamBlockAck = 12081;
inline constexpr std::uint16_t MsgRunResult = 12091;
inline constexpr std::uint16_t MsgFlashReadBlock = 12101;
inline constexpr std::uint16_t MsgFlashReadErr = 12102;
inline constexpr std::uint16_t MsgFlashWriteAck = 12111;
inline constexpr std::uint16_t MsgE2ReadBlock = 12121;
inline constexpr std::uint16_t MsgE2ReadErr = 12122;
inline constexpr std::uint16_t MsgE2WriteAck = 12131;
inline constexpr std::uint16_t MsgRamHello = 12502;
inline constexpr std::uint16_t MsgRamContinue = 12504;
inline constexpr std::uint16_t MsgE2CheckResult = 12507;

// Command identifiers that name steps or wait states, not frames.
inline constexpr std::uint16_t CmdHandshake = 12002;
inline constexpr std::uint16_t CmdBlUpgrade = 12003;
inline constexpr std::uint16_t CmdParaBackupDone = 12051;
inline constexpr std::uint16_t CmdAppWaitBackup = 12059;
inline constexpr std::uint16_t CmdAppSending = 12060;
inline constexpr std::uint16_t CmdAppWriting = 12061;
inline constexpr std::uint16_t CmdParaWaitBackup = 12075;
inline constexpr std::uint16_t CmdParaSending = 12076;
inline constexpr std::uint16_t CmdComplete = 12090;
inline constexpr std::uint16_t CmdResource = 12112;
inline constexpr std::uint16_t CmdFlashCopy = 12500;

inline constexpr std::uint16_t kFirstMsgId = 12000;
inline constexpr std::uint16_t kLastMsgId = 13000;

// The catalogue name of an identifier ("MsgConnect"), or "" when unknown.
std::string_view MessageName(std::uint16_t id);

}  // namespace tavro::link
