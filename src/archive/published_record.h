// The published-variable record, which grew with the versions. It lives in
// the case record for versions 11 to 30 and in the model data file after.
#pragma once

#include "archive/archive.h"

namespace optimisation {
class CExcExportedVariable;
}

namespace archive {

// A loaded region is kept within 1 ... 10,000 in each direction.
void Transfer(Archive& archive, optimisation::CExcExportedVariable& variable);

}  // namespace archive
