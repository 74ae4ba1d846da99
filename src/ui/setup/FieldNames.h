#pragma once
// A field's name for screen readers. Qt names a list box by its current value
// on this platform and leaves the label to a "labelled by" relation, which not
// every reader follows: the list box hears "Interval, 15 min" only with its own name.

class QComboBox;
class QString;

namespace kestro {

// The list box's accessible name from now on; its value stays its value.
void nameListBox(QComboBox* box, const QString& name);

}  // namespace kestro
