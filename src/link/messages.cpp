#include "link/messages.hpp"

#include <array>
#include <utility>

namespace tavro::link {
namespace {

#define TAVRO_MSG(name)                        \
  std::pair<std::uint16_t, std::string_view> { \
    name, #name                                \
  }

constexpr std::array kNames = {
    TAVRO_MSG(MsgResendRequest),
    TAVRO_MSG(MsgBlImageBlock),
    TAVRO_MSG(MsgBlHelloAck),
    TAVRO_MSG(MsgConnect),
    TAVRO_MSG(MsgLinkQuery),
    TAVRO_MSG(MsgReadAppInfo),
    TAVRO_MSG(MsgAppBackupStart),
    TAVRO_MSG(MsgAppBackupAck),
    TAVRO_MSG(MsgParaBackupStart),
    TAVRO_MSG(MsgParaBackupAck),
    TAVRO_MSG(MsgParaBackupStartEx),
    TAVRO_MSG(MsgAppDownloadStart),
    TAVRO_MSG(MsgAppBlock),
    TAVRO_MSG(MsgGoBack),
    TAVRO_MSG(MsgParaDownloadStart),
    TAVRO_MSG(MsgParaBlock),
    TAVRO_MSG(MsgRamBlock),
    TAVRO_MSG(MsgFlashRead),
    TAVRO_MSG(MsgFlashReadAck),
    TAVRO_MSG(MsgFlashWriteBlock),
    TAVRO_MSG(MsgE2Read),
    TAVRO_MSG(MsgE2ReadAck),
    TAVRO_MSG(MsgE2WriteBlock),
    TAVRO_MSG(MsgRamHelloAck),
    TAVRO_MSG(MsgRamContinueAck),
    TAVRO_MSG(MsgE2CheckResultAck),
    TAVRO_MSG(MsgHello),
    TAVRO_MSG(MsgRxTimeout),
    TAVRO_MSG(MsgText),
    TAVRO_MSG(MsgBlUpgradeReady),
    TAVRO_MSG(MsgBlBlockAck),
    TAVRO_MSG(MsgBlHello),
    TAVRO_MSG(MsgLinkQueryReply),
    TAVRO_MSG(MsgAppInfo),
    TAVRO_MSG(MsgDataInfo),
    TAVRO_MSG(MsgNoDataInfo),
    TAVRO_MSG(MsgAppBackupBlock),
    TAVRO_MSG(MsgAppBackupNone),
    TAVRO_MSG(MsgParaBackupBlock),
    TAVRO_MSG(MsgParaIntegErr),
    TAVRO_MSG(MsgParaUploadErr),
    TAVRO_MSG(MsgAppBlockAck),
    TAVRO_MSG(MsgDataBackupState),
    TAVRO_MSG(MsgGoBackResult),
    TAVRO_MSG(MsgParaBlockAck),
    TAVRO_MSG(MsgParaDownloadState),
    TAVRO_MSG(MsgParaDownloadErr),
    TAVRO_MSG(MsgRamBlockAck),
    TAVRO_MSG(MsgRunResult),
    TAVRO_MSG(MsgFlashReadBlock),
    TAVRO_MSG(MsgFlashReadErr),
    TAVRO_MSG(MsgFlashWriteAck),
    TAVRO_MSG(MsgE2ReadBlock),
    TAVRO_MSG(MsgE2ReadErr),
    TAVRO_MSG(MsgE2WriteAck),
    TAVRO_MSG(MsgRamHello),
    TAVRO_MSG(MsgRamContinue),
    TAVRO_MSG(MsgE2CheckResult),
};

#undef TAVRO_MSG

}  // namespace

std::string_view MessageName(std::uint16_t id) {
  for (const auto& [value, name] : kNames) {
    if (value == id)
      return name;
  }
  return {};
}

}  // namespace tavro::link
