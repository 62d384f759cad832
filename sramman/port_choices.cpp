#include "sramman/port_choices.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "port/default_port.h"
#include "port/parport_sysctl.h"
#include "sram/sram_port.h"

namespace velwin::sramman {
namespace {

// "parport0" ... "parport15": the ppdev devices, one per port.
bool IsParportDevice(const std::string& name) {
  constexpr std::string_view kPrefix = "parport";
  if (name.size() <= kPrefix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0)
    return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kPrefix.size()), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// parport2 after parport10 would read oddly: by number, then by name.
bool DeviceBefore(const std::string& a, const std::string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::string HexBase(std::uint16_t base) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(base));
  return text;
}

}  // namespace

std::string AutomaticPortDescription(const std::filesystem::path& dev) {
  std::error_code ignored;
  return xchanger::ChooseDefaultPort(nullptr, std::filesystem::exists(dev / "parport0", ignored));
}

std::string ResolvePortChoice(const std::string& choice) {
  return choice.empty() ? AutomaticPortDescription("/dev") : choice;
}

std::vector<PortChoice> ListPortChoices(const std::filesystem::path& dev,
                                        const std::filesystem::path& sysctl) {
  std::vector<PortChoice> choices;
  choices.push_back({"Automatic (" + AutomaticPortDescription(dev) + ")", ""});
  std::vector<std::string> devices;
  std::error_code error;
  for (std::filesystem::directory_iterator it(dev, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (IsParportDevice(name))
      devices.push_back(name);
  }
  std::sort(devices.begin(), devices.end(), DeviceBefore);
  for (const std::string& name : devices) {
    const std::string path = (dev / name).string();
    choices.push_back({path + " (ppdev)", "ppdev:" + path});
  }
  std::vector<std::uint16_t> bases = xchanger::ListedParportBases(sysctl);
  std::sort(bases.begin(), bases.end());
  bases.erase(std::unique(bases.begin(), bases.end()), bases.end());
  for (const std::uint16_t base : bases)
    choices.push_back({"Direct at " + HexBase(base), "direct:" + HexBase(base)});
  choices.push_back({"Demo card", kDemoPortDescription});
  return choices;
}

}  // namespace velwin::sramman
