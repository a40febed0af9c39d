#pragma once
// What the transport bar and its time display ask of the window that owns the
// play cursor (the timeline): the cursor itself, the fraction to show, and a
// repaint. The application hands them an adapter over its timeline; the tests
// a plain stand-in.

namespace dw {

class IPlayCursor {
public:
    virtual ~IPlayCursor() = default;
    // Moves the play cursor (a fraction 0 to 1 of the music); while the main
    // stream plays it also seeks there.
    virtual void SetPlayCursor(double fraction) = 0;
    virtual double PlayCursor() const = 0;
    // The fraction the time display shows: the played position while the
    // main stream plays, else the hovered position, else the play cursor.
    virtual double CurrentFraction() const = 0;
    // Repaints the owner at once.
    virtual void Repaint() = 0;
};

}  // namespace dw
