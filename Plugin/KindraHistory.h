// Undo and redo over the parameter changes the user made. A fixed ring of
// the most recent changes: the oldest fall out, nothing is allocated.
#pragma once

class KindraHistory {
public:
    static constexpr int kCapacity = 256;

    struct Change {
        int index;
        float before;
        float after;
    };

    // Main thread. Records a change; drops every change that was undone.
    // A change that alters nothing is not recorded.
    void record(int index, float before, float after);
    // Main thread. The change to take back (apply its `before`), or false.
    bool undo(Change& change);
    // Main thread. The change to apply again (its `after`), or false.
    bool redo(Change& change);
    // Main thread: forget everything (a new state was loaded).
    void clear();

    bool canUndo() const { return m_undoable > 0; }
    bool canRedo() const { return m_redoable > 0; }

private:
    Change m_changes[kCapacity] = {};
    int m_next = 0;     // slot of the next change
    int m_undoable = 0; // changes behind m_next
    int m_redoable = 0; // undone changes from m_next on
};
