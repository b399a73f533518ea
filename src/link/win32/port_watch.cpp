// Windows' PortWatch (link/port_monitor.hpp): the COM names under
// HARDWARE\DEVICEMAP\SERIALCOMM, looked at again whenever the key changes.

#include <windows.h>

#include "link/port_monitor.hpp"
#include "link/win32/worker_control.hpp"

namespace tavro::link {
namespace {

class RegistryWatch : public PortWatch {
 public:
  RegistryWatch() : changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP", 0, KEY_NOTIFY, &key_) !=
        ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RegistryWatch() override {
    if (key_ != nullptr)
      ::RegCloseKey(key_);
    if (changed_ != nullptr)
      ::CloseHandle(changed_);
  }

  std::shared_ptr<WorkerControl> MakeControl() override {
    control_ = win32::WorkerControl::Create();
    return control_;
  }

  bool TellsOfChanges() const override { return key_ != nullptr && changed_ != nullptr; }

  // A change of the key wakes the thread at once; the period covers a
  // system where the key cannot be watched.
  Event Wait(std::chrono::milliseconds period) override {
    if (!asked_) {
      // A notification belongs to the thread that asks for it: the
      // monitor's, on its first wait.
      asked_ = true;
      watching_ = AskForChange();
    }
    HANDLE handles[2] = {control_->WakeEvent(), changed_};
    const DWORD ready = ::WaitForMultipleObjects(watching_ ? 2 : 1, handles, FALSE,
                                                 static_cast<DWORD>(period.count()));
    if (ready == WAIT_OBJECT_0) {
      control_->ClearWake();
      return {Event::kWoken};
    }
    if (ready == WAIT_OBJECT_0 + 1)
      AskForChange();  // a notification fires once; ask for the next
    return {Event::kLook};
  }

  std::vector<PortEntry> Ports() override { return ListSerialPorts(); }

 private:
  bool AskForChange() {
    return TellsOfChanges() && ::RegNotifyChangeKeyValue(
                                   key_, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                   changed_, TRUE) == ERROR_SUCCESS;
  }

  HKEY key_ = nullptr;
  HANDLE changed_ = nullptr;
  std::shared_ptr<win32::WorkerControl> control_;
  bool asked_ = false;     // the thread's
  bool watching_ = false;  // the thread's
};

}  // namespace

std::unique_ptr<PortWatch> OpenPortWatch() {
  return std::make_unique<RegistryWatch>();
}

}  // namespace tavro::link
