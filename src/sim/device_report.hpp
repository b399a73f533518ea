#pragma once
// What `tavro-sim show` prints: the terminal's state in words.

#include <string>

#include "sim/device_model.hpp"

namespace tavro::sim {

std::string DescribeDevice(const Device& device);

}  // namespace tavro::sim
