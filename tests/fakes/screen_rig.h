#pragma once
#include "gui/state.h"
#include "tests/fakes/fake_port.h"
#include "tests/fakes/fake_system.h"
#include "tests/fakes/fake_ui.h"

namespace zd::test {

// What every screen test works with: a fake window system, files, virtual
// clock and line, the tool's state and the context that joins them. Tests
// that need a special window system or files name their own types.
template <typename UiType = FakeUi, typename SystemType = FakeSystem>
struct BasicScreenRig {
    UiType ui;
    SystemType sys;
    VirtualClock clock;
    FakePort port{clock};
    DeviceLink link{&port, &clock};
    AppState st;
    Context ctx{ui, link, sys, clock, st};
    BasicScreenRig() { st.names = make_value_names(); }
};
using ScreenRig = BasicScreenRig<>;

}  // namespace zd::test
