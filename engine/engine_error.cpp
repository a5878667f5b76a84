#include "engine_error.h"

std::string EngineError::text() const {
    const std::string why = ": " + error.text();
    switch (kind) {
        case Kind::None:
            return {};
        case Kind::NoDataFolder:
            return "no folder for the program's data (set HOME or XDG_DATA_HOME)";
        case Kind::CannotWriteScript:
            return "cannot write a script in " + where + why;
        case Kind::CannotCreateOutput:
            return "cannot create a file in " + where + why;
        case Kind::CannotStartConverter:
            return "cannot start the converter" + why;
        case Kind::CannotPlaceOutput:
            return "cannot move the finished file to " + where + why;
    }
    return {};
}
