#pragma once

#include <string>
#include <vector>

// The program's whole option set, in one table: the single run's, the batch's, and those
// the batch gives a unit's process. Both faces split their command line with it.
class TStationCommandLine {
public:
    enum class TFace { Both, Batch, Unit };  // Unit: given by the batch, not in the usage text
    struct TOption {
        const char* Name;
        bool TakesValue;
        TFace Face;
    };
    static const std::vector<TOption>& Options();

    struct TToken {
        std::string Name;
        std::string Value;  // empty for an option without a value
    };
    enum class TRequest { Run, Help, Version, ListPorts };
    // Splits a command line into its options and values. --help (-h), --version or
    // --list-ports anywhere
    // as an option (not as another option's value) is answered whatever else is given: the
    // request says so, and no error is raised. Otherwise throws EStationUsageError for an
    // option the face does not know or a missing value.
    static TRequest Tokenize(const std::vector<std::string>& args, TFace face, std::vector<TToken>& tokens);

    // The option of that name, or null.
    static const TOption* Find(const std::string& name);
};
