# Tests of the service entry.
