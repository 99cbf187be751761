#pragma once
// The bar for searching the active room's log: the text to find, the
// position among the matches ("k / n 件"), previous, next and close. It only
// reports what the user asks for; the main window does the searching.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    QString Text() const;
    // Shows the bar with its text selected and the focus in it.
    void Open();
    // current counts from 1; 0 with matches means none is selected yet.
    void ShowCount(int current, int total);

    QLabel* LabelFind = nullptr;
    QLineEdit* EditFind = nullptr;
    QLabel* LabelCount = nullptr;
    QPushButton* ButtonPrev = nullptr;
    QPushButton* ButtonNext = nullptr;
    QToolButton* ButtonClose = nullptr;

signals:
    void TextChanged(const QString& text);
    void NextRequested();
    void PreviousRequested();
    // The bar was hidden by Esc or its close button.
    void Closed();

public slots:
    void Close();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
