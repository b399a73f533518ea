#pragma once
// How the simulated terminal behaves where a real one may differ: delays,
// which states it reports and when. Every value has a profile key of the
// same name in section [Behaviour].

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavro::sim {

enum class ConnectReply { Announce, Hello };
enum class RamLoaderKind { Auto, BlUpgrade, E2Check };

// A list of 16-bit states reported one after the other; `automatic` lets the
// terminal choose from the state of its data; `hello` answers with MsgHello.
struct StateList {
  bool automatic = true;
  bool hello = false;
  std::vector<std::uint16_t> states;
};

struct Behaviour {
  std::uint32_t replyDelayMs = 3;   // processing time before any reply
  std::uint32_t blockWriteMs = 12;  // writing one received block
  std::uint32_t rxTimeoutMs = 200;  // silence inside a frame before MsgRxTimeout
  ConnectReply connectReply = ConnectReply::Announce;
  bool announceAtPowerUp = true;
  // An announcement not acknowledged within this time is followed by the
  // hello all the same (0: the terminal waits for the acknowledgement).
  std::uint32_t helloWithoutAckMs = 0;
  // The first block of a rewrite clears the data's intact mark (E2PROM
  // header word, Flash area integrity word) on arrival, before it is stored.
  bool clearMarkOnArrival = false;
  bool dataInfoAfterAppInfo = false;  // follow MsgAppInfo with MsgDataInfo / MsgNoDataInfo
  StateList appStartStates;           // MsgDataBackupState on MsgAppDownloadStart
  StateList appWriteStates{false, false, {1, 2}};  // after the last App block
  std::uint32_t dataBackupMs = 1500;               // the terminal securing its own data
  std::uint32_t appWriteMs = 800;                  // writing the App after its last block
  StateList paraStartStates;                       // MsgParaDownloadState on MsgParaDownloadStart
  bool backupAppOnDownload = true;                 // the old App moves to the backup area
  RamLoaderKind ramLoader = RamLoaderKind::Auto;
  std::uint32_t loaderStartMs = 200;
  std::uint32_t loaderAckTimeoutMs = 1000;
  std::uint16_t blUpgradeVersion = 0x0230;  // version after a bootloader upgrade
  std::uint32_t blWriteMs = 500;
  std::uint32_t restartMs = 1000;
  std::uint16_t e2CheckResult = 1;
  std::uint32_t goBackReports = 2;  // "in progress" reports before the result
  std::uint32_t goBackStepMs = 1000;
  int runResult = -1;               // -1: 1 with a current App, 2 without
  std::uint32_t runDelayMs = 2000;  // quiet time that ends a download session
  std::string banner;  // MsgText sent after each MsgHello of a connect, none when empty
};

// Text forms used by the profile and the command line.
std::string FormatStateList(const StateList& list);
bool ParseStateList(const std::string& text, StateList& out);

// Every setting as key/text pairs, in a fixed order.
std::vector<std::pair<std::string, std::string>> BehaviourEntries(const Behaviour& behaviour);
// Sets one setting from its key and text; false with `error` set when either
// is not understood.
bool SetBehaviour(Behaviour& behaviour, const std::string& key, const std::string& value,
                  std::string& error);

}  // namespace tavro::sim
