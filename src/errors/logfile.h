#pragma once
// An append-only text file written one line at a time: each line is opened, appended with CR LF
// and closed again, so it is in the file before Write returns and survives a crash of the
// program. A file that cannot be written is reported once; after that failures are silent.

#include <functional>
#include <string>

namespace orn {

class TLogFile {
  public:
    explicit TLogFile(std::string fileName);

    std::string FileName;
    // A write or the creation of the file has failed (and has not succeeded since).
    bool Failed = false;
    // The file did not exist when this object was made; it is created with the first line.
    bool MustCreate = false;
    // Text put in front of each line, followed by a TAB; none when unset.
    std::function<std::string()> TimeStamp;
    // Shows "Can't write log file <name>!" (the first failure only).
    std::function<void(const std::string& message)> OnWriteError;

    // False when the line could not be written. A line cut short by a full disk is taken out
    // again, so the file only ever holds whole lines.
    virtual bool Write(const std::string& line);
    virtual ~TLogFile() = default;

  private:
    bool Prepare();
};

}  // namespace orn
