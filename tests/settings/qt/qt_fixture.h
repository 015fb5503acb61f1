#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "readorder_fixture.h"
#include "settings/qt/zform.h"

namespace orn::test {

// Records every write that reaches the settings service.
class RecordingReadOrder : public TIniReadOrder {
  public:
    struct Write {
        std::string readOrder, section, key, value;
    };
    void WriteString(const std::string& readOrder, const std::string& section,
                     const std::string& key, const std::string& value) override {
        writes.push_back({readOrder, section, key, value});
        TIniReadOrder::WriteString(readOrder, section, key, value);
    }
    std::vector<Write> writes;
};

class TestForm : public QWidget, public TzForm {
  public:
    explicit TestForm(const char* name) : TzForm(this) { setObjectName(name); }
};

// A fresh process-wide settings service that records its writes.
class QtSettingsFixture : public ReadOrderFixture {
  protected:
    void SetUp() override {
        ReadOrderFixture::SetUp();
        auto service = std::make_unique<RecordingReadOrder>();
        recorder_ = service.get();
        SetGlobalIniReadOrder(std::move(service));
    }
    const std::vector<RecordingReadOrder::Write>& Writes() const { return recorder_->writes; }
    // Puts a value in the machine key, where the default read order finds it after the user key.
    void StoreInMachine(const std::string& section, const std::string& key,
                        const std::string& value) {
        TzRegistryIniFile(MachineKey()).WriteString(section, key, value);
        GlobalIniReadOrder().ClearAll();  // a key that did not exist is opened afresh
    }
    void StoreInUser(const std::string& section, const std::string& key, const std::string& value) {
        TzRegistryIniFile(UserKey()).WriteString(section, key, value);
        GlobalIniReadOrder().ClearAll();
    }

    RecordingReadOrder* recorder_ = nullptr;
};

}  // namespace orn::test
