// Keeps the support library non-empty while it has no other sources.
namespace qz_test { int support_linked = 0; }
