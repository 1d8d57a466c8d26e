#include "KindraHistory.h"

void KindraHistory::record(int index, float before, float after)
{
    if (before == after)
        return;
    m_changes[m_next] = Change{index, before, after};
    m_next = (m_next + 1) % kCapacity;
    if (m_undoable < kCapacity)
        ++m_undoable;
    m_redoable = 0;
}

bool KindraHistory::undo(Change& change)
{
    if (m_undoable == 0)
        return false;
    m_next = (m_next + kCapacity - 1) % kCapacity;
    --m_undoable;
    ++m_redoable;
    change = m_changes[m_next];
    return true;
}

bool KindraHistory::redo(Change& change)
{
    if (m_redoable == 0)
        return false;
    change = m_changes[m_next];
    m_next = (m_next + 1) % kCapacity;
    --m_redoable;
    ++m_undoable;
    return true;
}

void KindraHistory::clear()
{
    m_next = 0;
    m_undoable = 0;
    m_redoable = 0;
}
