#include "ui/setup/FieldNames.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace kestro {
namespace {

// Qt's list box interface, but named by its name: value, children (the list
// and, when editable, the line) and the action that opens it stay as they are.
class NamedListBox final : public QAccessibleWidget {
public:
    explicit NamedListBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return box()->isEditable() && box()->lineEdit() ? box()->lineEdit()->text() : box()->currentText();
        if (t == QAccessible::Name && box()->accessibleName().isEmpty()) return text(QAccessible::Value);
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override {
        const auto c = children();
        return index >= 0 && index < int(c.size()) ? QAccessible::queryAccessibleInterface(c[size_t(index)]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto c = children();
        for (size_t i = 0; i < c.size(); ++i)
            if (child && child->object() == c[i]) return int(i);
        return -1;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        s.editable = box()->isEditable();
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            box()->view()->isVisible() ? box()->hidePopup() : box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
    std::vector<QObject*> children() const {
        std::vector<QObject*> c{box()->view()};
        if (box()->isEditable() && box()->lineEdit()) c.push_back(box()->lineEdit());
        return c;
    }
};

}  // namespace

void nameListBox(QComboBox* box, const QString& name) {
    box->setAccessibleName(name);
    // Qt's own factory would answer first for a QComboBox; the cache is asked before any factory.
    const QAccessible::Id id = QAccessible::uniqueId(QAccessible::queryAccessibleInterface(box));
    if (dynamic_cast<NamedListBox*>(QAccessible::accessibleInterface(id))) return;
    QAccessible::deleteAccessibleInterface(id);
    QAccessible::registerAccessibleInterface(new NamedListBox(box));
}

}  // namespace kestro
