#pragma once

// How many changes the planning layers of the process have kept from the machine so far: the log
// of a plan marks a line during which it grew. Without system types, for the ODBC code's sake.
unsigned PlannedChangeCount();

// Counts a change kept from the machine by a planning layer of another kind (the databases').
void NotePlannedChange();

// Whether the seam in use is a planning layer: what the program asks of it changes nothing.
bool PlanningActive();
