#pragma once

#include <string>

#include "settings/IniName.h"
#include "settings/IniReadOrder.h"
#include "settings/zLocalIniFile.h"
#include "settings/zRegistryIniFile.h"
#include "settings_fixture.h"

namespace orn::test {

// A program "orn" in <tmp>/prog, started in <tmp>/work, with its registry in <tmp>/registry.
class ReadOrderFixture : public SettingsFixture {
  protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        savedProgram_ = ProgramFileName();
        progDir_ = root_ + "/prog/";
        std::filesystem::create_directories(progDir_);
        SetProgramFileName(progDir_ + "orn");
        ReleaseGlobalIniReadOrder();
    }
    void TearDown() override {
        ReleaseGlobalIniReadOrder();
        SetProgramFileName(savedProgram_);
        SettingsFixture::TearDown();
    }

    std::string ProgIni() const { return progDir_ + "orn.ini"; }
    std::string LocalIni() const { return workDir_ + "/orn.ini"; }
    static std::string UserKey() { return "HKEY_CURRENT_USER\\software\\Tarm\\orn"; }
    static std::string MachineKey() { return "HKEY_LOCAL_MACHINE\\software\\Tarm\\orn"; }
    // Backslash form of a path, as read-order elements spell it.
    static std::string Elem(const std::string& path) {
        std::string out = path;
        for (auto& c : out) {
            if (c == '/')
                c = '\\';
        }
        return out;
    }

    // What each store holds, read straight from it.
    static std::string InUser(const std::string& s, const std::string& k) {
        return TzRegistryIniFile(UserKey()).ReadString(s, k, "<none>");
    }
    static std::string InMachine(const std::string& s, const std::string& k) {
        return TzRegistryIniFile(MachineKey()).ReadString(s, k, "<none>");
    }
    static std::string InIni(const std::string& file, const std::string& s, const std::string& k) {
        return TzLocalIniFile(file).ReadString(s, k, "<none>");
    }

    std::string savedProgram_;
    std::string progDir_;
};

}  // namespace orn::test
