#pragma once
// The toolkit's own texts in Japanese: the edit menu of every input, the file
// dialogs and their questions, the standard buttons. The program speaks only
// Japanese, so they are loaded whatever the desktop's language.

// Installs the toolkit's Japanese translations into the running application.
// Returns false when they are not installed (the texts then stay in English).
bool InstallToolkitTranslations();
