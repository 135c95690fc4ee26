#pragma once

#include <QtGlobal>

// How often long work hands its caller a turn, so a window repaints well
// within the 50 ms a person notices: a repaint asked for in one turn is done
// in a later one, hence well under half of it. Every loop over files, nodes
// or entries gives turns this often.
inline constexpr qint64 kTurnIntervalMs = 15;

// How often work done on other threads is looked in on by the thread that
// gives the turns, and so how often the zip library offers its idle call: a
// third of a turn, so a turn is never late by more than that when the
// workers stall on a cold disk. A call with nothing to do is cheap.
inline constexpr qint64 kWaitTickMs = kTurnIntervalMs / 3;
