#include "data/init_data.hpp"

#include "data/file_io.hpp"

namespace tavro::data {

namespace {

constexpr std::uint16_t kBlE2prom = 0x230;
constexpr std::uint16_t kBlE2promAfterUpdate = 0x220;

bool IsRegularFile(const std::string& path) {
  return FileSize(path).has_value();
}

}  // namespace

bool UsesE2promData(const InitDataChoice& c) {
  return c.blVersion >= kBlE2prom ||
         (c.blVersion >= kBlE2promAfterUpdate && c.blUpDataConfig != 0 && c.newBlFile);
}

std::string InitDataCheck::BoxText() const {
  return paraPath + " init data is not exist.\r\n";
}

std::string InitDataCheck::LogLine() const {
  return form == ParaForm::kE2prom ? "\r\nE2InitParaLost_End" : "\r\nFInitParaLost_End";
}

InitDataCheck CheckInitData(const std::string& programDir, const InitDataChoice& choice,
                            const AreaTable& areas) {
  InitDataCheck out;
  if (UsesE2promData(choice)) {
    out.form = ParaForm::kE2prom;
    out.paraPath = programDir + kInitE2promFolder;
    out.complete = IsRegularFile(out.paraPath + "/" + kE2ImageName);
    if (!out.complete)
      out.missingName = kE2ImageName;
    return out;
  }
  out.form = ParaForm::kFlash;
  out.paraPath = programDir + kInitFlashFolder;
  for (std::size_t i = 0; i < choice.paraFileTotalNum; ++i) {
    const std::string name = i < areas.size() ? areas[i].fileName : std::string();
    if (!IsPlainFileName(name) || !IsRegularFile(out.paraPath + "/" + name)) {
      out.missingIndex = i;
      out.missingName = IsPlainFileName(name) ? name : std::string();
      return out;
    }
  }
  out.complete = true;
  return out;
}

}  // namespace tavro::data
