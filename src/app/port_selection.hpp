#pragma once
// The window's port handling: the port list, opening and closing the port,
// the baud rate, and the loss of the open port's device.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/context.hpp"
#include "link/port_list.hpp"

namespace tavro::app {

using PortSource = std::function<std::vector<link::PortEntry>()>;

// Port number of a list entry "COM<n>": the text after "COM", automatic
// base, kept in 8 bits.
std::uint8_t PortNumberOfEntry(const std::string& entry);

// Fills the port list afresh; returns the number of entries.
std::size_t EnumeratePorts(engine::Context& ctx, const PortSource& ports);

void OnPortListDropDown(engine::Context& ctx, const PortSource& ports);
void OnPortSelected(engine::Context& ctx, int index);
void OnBaudSelected(engine::Context& ctx, int index);
void OnPortButton(engine::Context& ctx);
// A device has been removed completely.
void OnDeviceRemoved(engine::Context& ctx, const PortSource& ports);

// Opens the port of the line settings and starts its worker; the icons,
// flags and caption show the result. No message.
bool OpenPortAndShow(engine::Context& ctx);
// Shows the port as closed (icons off, caption "open", link flags cleared).
void ShowPortClosed(engine::Context& ctx);
// "<C_Com>COM<n><C_NoCom>": a port that could not be opened.
std::string PortNotOpenedText(engine::Context& ctx, std::uint32_t number);

}  // namespace tavro::app
