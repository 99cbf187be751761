#pragma once
// Tab in a one-line edit completes the word before the cursor to a name, Shift+Tab
// goes back through the candidates; with no candidate the keys move the focus as usual.

#include "NameCompletion.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;

class NameCompletionFilter : public QObject {
    Q_OBJECT
public:
    // names gives the names to complete to (UTF-8), asked at each press.
    // Watches edit and lives as its child.
    NameCompletionFilter(QLineEdit* edit, std::function<std::vector<std::string>()> names);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* Edit;
    std::function<std::vector<std::string>()> Names;
    NameCompleter Completer;
    bool completing_ = false;   // the text changes by a completion's own insert
};
