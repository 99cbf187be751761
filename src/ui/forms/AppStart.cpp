#include "AppStart.h"

#include "AppLocations.h"
#include "AppWindows.h"
#include "MessageBoxes.h"
#include "ToolkitTranslations.h"
#include "Unitmain.h"
#include "UnsavedNote.h"

#include <cstdio>

std::unique_ptr<TFormMain> OpenApplicationWindows(const AppLocations& locations,
                                                  const std::function<bool()>& quitRequested)
{
    // Before the first box, so its buttons are Japanese too.
    if (!InstallToolkitTranslations())
        std::fprintf(stderr, "kvchat: Qt の日本語訳 (qtbase_ja.qm) が見つかりません\n");
    if (const auto failure = PrepareSettingsFile(locations)) {
        std::fprintf(stderr, "kvchat: %s\n", failure->c_str());
        ShowStandardError(QString::fromStdString(*failure));
        // A signal during this box ended its loop; a second box would wait for the user again.
        if (quitRequested())
            return nullptr;
    }
    if (!locations.Notice.empty()) {
        std::fprintf(stderr, "kvchat: %s\n", locations.Notice.c_str());
        ShowNoticeBox(QString::fromStdString(locations.Notice));
    }
    if (quitRequested())
        return nullptr;
    if (const auto unsaved = TakeUnsavedNote(locations.SettingsFile)) {
        const std::string text = "前回の終了時に設定を保存できませんでした: " + *unsaved;
        std::fprintf(stderr, "kvchat: %s\n", text.c_str());
        ShowNoticeBox(QString::fromStdString(text));
        if (quitRequested())
            return nullptr;
    }
    // The window reads [Log] Folder with the rest of the settings; this is the folder without it.
    return CreateApplicationWindows(locations.SettingsFile, locations.LogFolder);
}
