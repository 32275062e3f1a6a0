/* The smallest DLL that carries a version resource. */
int qz_version_test_dll(void) { return 1; }
