#pragma once

#include <cstdint>
#include <string>

namespace orn::db::dbase {

// Code page number of a language driver byte (header byte 0x1D); 0 when the byte names none
// (0x00 or a value of no known driver).
int codePageOfDriver(std::uint8_t driver);
// The driver byte a new table gets for a code page number; 0 for one without a driver.
// `foxPro` picks FoxPro's drivers where dBASE and FoxPro differ.
std::uint8_t driverOfCodePage(int codePage, bool foxPro);

// The iconv name to read a table with: its driver's code page, else `fallback` (a table that
// does not state its code page), else CP437 for dBASE and CP1252 for Visual FoxPro tables.
std::string tableCodePage(std::uint8_t driver, bool visualFoxPro, const std::string& fallback);

}  // namespace orn::db::dbase
