#pragma once
// Clicks on the links of a log: a left click (not a drag that selects text)
// on a link hands exactly its address to the desktop shell. Only http:// and
// https:// addresses are ever handed on, whatever the link says.

class QPlainTextEdit;

void InstallLinkOpener(QPlainTextEdit* view);
