#include "key_guard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>

namespace {

bool pressesButtons(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space ||
           key == Qt::Key_Escape;
}

class KeyGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
            type != QEvent::ShortcutOverride) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) {
            if (type == QEvent::KeyPress) {
                showFocus(watched);
            }
            return false;
        }
        // Taken by the focused control as its own key, a repeated key never reaches a
        // shortcut: a mnemonic ("N&o to All") held down answers nothing.
        if (type == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return pressesButtons(key->key()) && (qobject_cast<QAbstractButton*>(watched) != nullptr ||
                                              qobject_cast<QDialog*>(watched) != nullptr);
    }

private:
    static void showFocus(QObject* watched) {
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* window = widget != nullptr ? widget->window() : nullptr;
        if (window == nullptr || window->testAttribute(Qt::WA_KeyboardFocusChange)) {
            return;
        }
        window->setAttribute(Qt::WA_KeyboardFocusChange);
        if (QWidget* focus = window->focusWidget()) {
            focus->update();
        }
    }
};

}  // namespace

void guardKeyPresses() {
    static KeyGuard* guard = nullptr;
    if (guard == nullptr && qApp != nullptr) {
        guard = new KeyGuard(qApp);
        qApp->installEventFilter(guard);
    }
}
