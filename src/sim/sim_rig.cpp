#include "sim/sim_rig.hpp"

namespace tavro::sim {

SimRig::SimRig(loop::VirtualLoop& loop, Device device, Behaviour behaviour, Faults faults,
               std::uint32_t baud)
    : scheduler_(loop),
      terminal_(scheduler_, std::move(device), std::move(behaviour), std::move(faults)),
      wire_(loop, terminal_, baud) {
  terminal_.SetAdapterRemovedHook([this] { wire_.Unplug(); });
  terminal_.PowerUp();
}

std::unique_ptr<SimRig> SimRig::FromProfile(loop::VirtualLoop& loop, const std::string& dir,
                                            std::string& error, std::uint32_t baud) {
  Profile profile;
  if (!LoadProfile(dir, profile, error))
    return nullptr;
  auto rig =
      std::make_unique<SimRig>(loop, profile.device, profile.behaviour, profile.faults, baud);
  rig->PersistTo(dir, profile.behaviour, profile.faults);
  return rig;
}

void SimRig::PersistTo(const std::string& dir, const Behaviour& behaviour, const Faults& faults) {
  store_ = std::make_unique<ProfileStore>(dir, behaviour, faults);
  terminal_.SetSaveHook([store = store_.get()](const Device& device, Changed changed) {
    store->Save(device, changed);
  });
}

}  // namespace tavro::sim
