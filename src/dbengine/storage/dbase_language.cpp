#include "dbengine/storage/dbase_language.h"

#include "dbengine/storage/codepage.h"

namespace orn::db::dbase {

int codePageOfDriver(std::uint8_t d) {
    switch (d) {
        case 0x01:
            return 437;
        case 0x02:
            return 850;
        case 0x03:
            return 1252;
        case 0x04:
            return 10000;
        case 0x08:
        case 0x17:
        case 0x66:
            return 865;
        case 0x09:
        case 0x0B:
        case 0x0D:
        case 0x0F:
        case 0x11:
        case 0x15:
        case 0x18:
        case 0x19:
        case 0x1B:
            return 437;
        case 0x0A:
        case 0x0E:
        case 0x10:
        case 0x12:
        case 0x14:
        case 0x16:
        case 0x1A:
        case 0x1D:
        case 0x25:
        case 0x37:
            return 850;
        case 0x13:
        case 0x7B:
            return 932;
        case 0x1C:
            return 863;
        case 0x1F:
        case 0x22:
        case 0x23:
        case 0x40:
        case 0x64:
            return 852;
        case 0x24:
            return 860;
        case 0x26:
        case 0x65:
            return 866;
        case 0x4D:
        case 0x7A:
            return 936;
        case 0x4E:
        case 0x79:
            return 949;
        case 0x4F:
        case 0x78:
            return 950;
        case 0x50:
        case 0x7C:
            return 874;
        case 0x57:
        case 0x58:
        case 0x59:
            return 1252;
        case 0x67:
            return 861;
        case 0x6A:
            return 737;
        case 0x6B:
            return 857;
        case 0x7D:
            return 1255;
        case 0x7E:
            return 1256;
        case 0x96:
            return 10007;
        case 0x97:
            return 10029;
        case 0xC8:
            return 1250;
        case 0xC9:
            return 1251;
        case 0xCA:
            return 1254;
        case 0xCB:
            return 1253;
        default:
            return 0;
    }
}

std::uint8_t driverOfCodePage(int cp, bool foxPro) {
    switch (cp) {
        case 437:
            return foxPro ? 0x01 : 0x1B;
        case 850:
            return 0x02;
        case 1252:
            return foxPro ? 0x03 : 0x57;
        case 865:
            return 0x66;
        case 852:
            return 0x64;
        case 866:
            return 0x65;
        case 861:
            return 0x67;
        case 860:
            return 0x24;
        case 863:
            return 0x1C;
        case 737:
            return 0x6A;
        case 857:
            return 0x6B;
        case 932:
            return 0x13;
        case 936:
            return 0x7A;
        case 949:
            return 0x79;
        case 950:
            return 0x78;
        case 874:
            return 0x7C;
        case 1250:
            return 0xC8;
        case 1251:
            return 0xC9;
        case 1253:
            return 0xCB;
        case 1254:
            return 0xCA;
        case 1255:
            return 0x7D;
        case 1256:
            return 0x7E;
        default:
            return 0;
    }
}

std::string tableCodePage(std::uint8_t driver, bool visualFoxPro, const std::string& fallback) {
    int cp = codePageOfDriver(driver);
    if (cp == 10000)
        return "MACINTOSH";
    if (cp == 10007)
        return "MAC-CYRILLIC";
    if (cp == 10029)
        return "MAC-CENTRALEUROPE";
    std::string name = codePageName(cp);
    if (!name.empty())
        return name;
    if (!fallback.empty())
        return fallback;
    if (!fallbackTableCodePage().empty())
        return fallbackTableCodePage();
    if (driver == 0x69)
        return "CP437";  // Mazovia: iconv lacks it; 437 is the code page it is based on
    return visualFoxPro ? "CP1252" : "CP437";
}

}  // namespace orn::db::dbase
