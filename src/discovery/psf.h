#pragma once
// PSF (param.sfo) reader over a byte buffer; never reads outside it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

std::map<std::string, std::string> parse_psf(const uint8_t* data, size_t size);
