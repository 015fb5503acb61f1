#pragma once
// Comments typed by the user into the error log, and their history file "Comments.txt" (one
// comment a line, newest first, in the working directory).

#include <functional>
#include <string>
#include <vector>

namespace orn {

class TCommError;

// "co", "Comment": not counted, not shown, logged.
TCommError& CommentError();

class TCommentHistory {
  public:
    using SameTextFn = std::function<bool(const std::string&, const std::string&)>;

    explicit TCommentHistory(std::string fileName = "Comments.txt");

    // The file's lines as they are (bytes kept, CR LF or LF line ends), at most the first
    // 16 MiB of them; a missing or unreadable file, or one that is not a regular file, gives an
    // empty history.
    void Load();
    // Replaces the file with the list; the error text ("Cannot create file ...") on failure,
    // empty on success.
    std::string Save() const;
    // Whether an entry equals text, letter case ignored (ASCII unless `same` says otherwise).
    bool Contains(const std::string& text, const SameTextFn& same = {}) const;
    // Removes the entry at index; returns the index selected afterwards (the entry now at
    // that place, the last one when the removed one was last, -1 when none is left).
    int Delete(int index);

    // The rule of an accepted dialog: an empty text is no comment (false). Otherwise the text
    // is the comment exactly as typed (blanks only included); a text that is not in the list
    // yet goes to the top and the whole list is written back. `error` gets the write error, and
    // then the result is false: the comment is neither returned nor reported.
    bool Accept(const std::string& text, std::string& error, const SameTextFn& same = {});

    std::string FileName;
    std::vector<std::string> Items;
};

}  // namespace orn
