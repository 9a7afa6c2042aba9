# Tests of the configurator frame pieces.
