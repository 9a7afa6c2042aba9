# Tests of the configurator core.
