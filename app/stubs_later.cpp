// Screens still to come; each file replaces its stub here when it lands.

namespace zd {


}  // namespace zd
