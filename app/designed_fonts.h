#pragma once

namespace velwin::app {

// Lets the windows name the faces they were designed with ("MS Sans Serif",
// "Arial", "Courier New") and get, where those are missing, faces of the
// same widths, so that every text keeps the room it was laid out for.
void SubstituteDesignedFonts();

}  // namespace velwin::app
