#pragma once
// Menu letters that work on any keyboard layout. The menus are Russian, so
// their underlined letters are Cyrillic, which a Latin layout cannot type:
// there the key that carries the letter on the Russian layout (Ф on A, О on
// J, ...) stands for it, in the menu bar (Alt + key) and in an open menu.

class QMainWindow;
class QChar;

namespace sonavir {

// The Latin character on the key that carries a Cyrillic letter in the
// standard Russian layout (either case; the result is upper case), or 0.
char LatinKeyOf(QChar cyrillic);

// For every menu of the window's menu bar.
void InstallLayoutFreeMnemonics(QMainWindow* window);

}  // namespace sonavir
