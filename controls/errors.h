#pragma once
// The error the controls raise when a property is given a value outside its range.

#include <stdexcept>

namespace controls {

// A property was given a value outside its allowed range; what() is the text shown to the operator.
class EInvalidValue : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace controls
