#pragma once
// The user's kept formations, in their own file beside the settings file.
//
// The file is CP932 text, one formation after another: its title in brackets,
// then the board's own position line and name line, the very lines the board
// sends and copies:
//
//   [4-4-2 練習用]
//   *!B!*A5050B5007C1520...W3857
//   *!N!*A B1 C2 D3 ... W11
//
// Lines starting with ';' and empty lines are skipped. The file is read as
// untrusted: every formation that can be read is kept, and the rest only makes
// the file count as damaged.

#include "Board.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t MaxFormationTitleBytes = 40;
inline constexpr std::size_t MaxFormations = 100;
inline constexpr std::size_t MaxFormationFileBytes = 256 * 1024;

struct SavedFormation {
    std::string Title;   // CP932
    CharItemTable Items;
};

struct FormationFileContents {
    std::vector<SavedFormation> Formations;
    bool Damaged = false;   // something in the file could not be read
};

// 1 to 40 bytes, no control byte (it would end the line), no blank at either end.
bool IsValidFormationTitle(std::string_view Title);

FormationFileContents ParseFormationFile(std::string_view Bytes);
std::string FormatFormationFile(const std::vector<SavedFormation>& Formations);

// "kvchat-formations.txt" in the settings file's folder.
std::string FormationFilePath(std::string_view SettingsFile);

// The kept formations and their file. Nothing here throws: failures come back
// as the user's message.
class FormationStore {
public:
    explicit FormationStore(std::string Path) : path(std::move(Path)) {}

    // Reads the file; a missing file is an empty list. Returns the user's
    // message when the file could not be read whole (damaged, too large or
    // unreadable).
    std::optional<std::string> Load();

    const std::vector<SavedFormation>& Formations() const { return formations; }
    const std::string& Path() const { return path; }

    // Keeps the table under Title, replacing a formation of the same title.
    // Both read the file again first, so what another instance of the program
    // saved meanwhile is kept.
    std::optional<std::string> Save(std::string_view Title, const CharItemTable& Items);
    std::optional<std::string> Remove(std::string_view Title);

private:
    struct Kept {
        std::vector<SavedFormation> formations;
        bool damaged;
    };
    void restore(const Kept& kept);
    void reread();
    std::optional<std::string> write();

    std::string path;
    std::vector<SavedFormation> formations;
    std::string damagedBytes;   // a damaged file as read, kept aside before the first write
    bool damaged = false;
};
