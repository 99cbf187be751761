#pragma once
// The frame every fixed-size dialog of the program shares.

class QDialog;

// Form font at 12 pixels, a close box only, and the size of the form description.
void SetUpDialogFrame(QDialog& form);
