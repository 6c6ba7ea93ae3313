#include "client/core/event_chain.h"

// The chains are templates; this unit instantiates both once so the
// library carries their code and the header stays checked on its own.
template class BasicEventChain<void>;
template class BasicEventChain<bool>;
