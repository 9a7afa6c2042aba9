# Tests of the host core.
