# tolvan_bridge is added here as its sources land.
