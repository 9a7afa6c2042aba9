# Tests of the bridge logic.
