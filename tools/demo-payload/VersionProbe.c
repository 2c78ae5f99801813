/* A do-nothing program that only carries a version resource for the tests. */
int main(void) { return 0; }
