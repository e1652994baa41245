// The suites and benchmarks name the product's types without their layer: every layer's
// namespace is in view. Included first by each of them.
#pragma once

namespace knot::core {}
namespace knot::device {}
namespace knot::logic {}
namespace knot::sim {}
namespace knot::cli {}
namespace knot::qt {}
namespace knot::win32 {}
namespace knot::tools {}
namespace knot::station {}
namespace knot::test {}

using namespace knot::core;
using namespace knot::device;
using namespace knot::logic;
using namespace knot::sim;
using namespace knot::cli;
using namespace knot::qt;
using namespace knot::win32;
using namespace knot::tools;
using namespace knot::station;
using namespace knot::test;
