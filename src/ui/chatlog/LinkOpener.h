#pragma once
// Clicks on the links of a log: a left click (not a drag that selects text)
// on a link hands exactly its address, as the line shows it, to the desktop
// shell. Only http:// and https:// addresses are ever handed on.

class QPlainTextEdit;

void InstallLinkOpener(QPlainTextEdit* view);
