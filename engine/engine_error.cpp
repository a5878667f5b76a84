#include "engine_error.h"

std::string EngineError::text() const {
    const std::string why = ": " + error.text();
    switch (kind) {
        case Kind::None:
            return {};
        case Kind::NoDataFolder:
            return "no folder for the program's data (set HOME or XDG_DATA_HOME)";
        case Kind::DataFolderRefused:
            return "cannot use " + where + " for the program's data: " + detail;
        case Kind::CannotWriteScript:
            return "cannot write a script in " + where + why;
        case Kind::CannotWriteLog:
            return "cannot write the probe's log in " + where + why;
        case Kind::CannotCreateOutput:
            return "cannot create a file in " + where + why;
        case Kind::CannotStartConverter:
            return "cannot start the converter" + (detail.empty() ? why : ": " + detail);
        case Kind::FolderTakenOver:
            return "another user keeps taking over the job's files in " + where;
        case Kind::CannotGuard:
            return "cannot guard the converter" + why;
        case Kind::SourceDidNotAnswer:
            return "the source did not answer within " + detail + " s";
        case Kind::ConverterSaid:
        case Kind::Short:
            return detail;
        case Kind::EndedBySignal:
            return "the converter was ended by signal " + detail;
        case Kind::ExitStatus:
            return "the converter ended with exit status " + detail;
        case Kind::WroteNoOutput:
            return "the converter wrote no output";
        case Kind::OutputNameTaken:
            return "the output name is taken by " + detail;
        case Kind::NameTakenMeanwhile:
            return "another program took the output name meanwhile";
        case Kind::OutputFolderMoved:
            return "the output folder was moved or replaced during the conversion";
        case Kind::CannotPlaceOutput:
            return "cannot move the finished file to " + where + why;
        case Kind::SameOutput:
            return "same output as " + detail;
    }
    return {};
}
