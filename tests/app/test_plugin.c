/* A library to bind in tests; the variant decides which entry points it exports. */
int TestAlpha(int x) { return x + 1; }
#ifndef VARIANT_NOREQUIRED
int TestBeta(int x) { return x * 2; }
#endif
#ifndef VARIANT_NOOPTIONAL
int TestGamma(void) { return 7; }
#endif
