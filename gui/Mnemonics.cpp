#include "gui/Mnemonics.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace sonavir {

namespace {

// The Russian layout's letters and the Latin characters on their keys.
const QString kRussianKeys = QStringLiteral("ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ");
constexpr char kLatinKeys[] = "QWERTYUIOP[]ASDFGHJKL;'ZXCVBNM,.`";

// The underlined letter of a menu text, upper case, or a null character.
QChar MnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] != u'&') return text[i + 1].toUpper();
        ++i;  // "&&" is a plain ampersand
    }
    return {};
}

// In an open menu a key's character picks the item underlined with it; a
// Latin character of a key that carries an item's Cyrillic letter is handed
// on as that letter.
class MenuLetters : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (!menu || event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->text().size() != 1 || (key->modifiers() & ~(Qt::AltModifier | Qt::ShiftModifier))) return false;
        const QChar typed = key->text()[0].toUpper();
        const qsizetype at = QString::fromLatin1(kLatinKeys).indexOf(typed);
        if (at < 0) return false;
        const QChar letter = kRussianKeys[at];
        for (QAction* action : menu->actions()) {
            const QChar own = MnemonicOf(action->text());
            if (own == typed) return false;  // an item of its own has this letter
            if (own == letter) {
                QKeyEvent translated(QEvent::KeyPress, key->key(), key->modifiers(), QString(letter));
                QCoreApplication::sendEvent(menu, &translated);
                return true;
            }
        }
        return false;
    }
};

}  // namespace

char LatinKeyOf(QChar cyrillic)
{
    const qsizetype at = kRussianKeys.indexOf(cyrillic.toUpper());
    return at < 0 ? 0 : kLatinKeys[at];
}

void InstallLayoutFreeMnemonics(QMainWindow* window)
{
    auto* letters = new MenuLetters(window);
    QMenuBar* bar = window->menuBar();
    for (QAction* action : bar->actions()) {
        QMenu* menu = action->menu();
        if (!menu) continue;
        menu->installEventFilter(letters);
        const char latin = LatinKeyOf(MnemonicOf(action->text()));
        if (!latin) continue;
        // On the Russian layout the toolkit may offer the same press as both
        // letters; the menu bar and this shortcut then share it, and either
        // opens the same menu.
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key(latin)), window);
        const auto open = [bar, action] {
            if (action->isEnabled() && action->isVisible()) bar->setActiveAction(action);
        };
        QObject::connect(shortcut, &QShortcut::activated, window, open);
        QObject::connect(shortcut, &QShortcut::activatedAmbiguously, window, open);
    }
}

}  // namespace sonavir
