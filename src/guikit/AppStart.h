#pragma once
// What both programs do around creating their QApplication.

class QCoreApplication;

namespace renvo {

// Whether Qt can open a window: a display named in the environment, or a platform the user
// chose (offscreen for the tests). Without one QApplication aborts instead of saying why.
bool haveDisplay();

// Installs Qt's own Japanese texts (the choosers' labels and buttons, their warnings) on the
// application, whatever the locale: every other text of the program is Japanese, and a chooser
// half in English reads worse than either. False when the translation file is not installed;
// the choosers then keep Qt's English.
bool installQtJapanese(QCoreApplication& app);

}  // namespace renvo
