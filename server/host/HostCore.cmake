# tolvan_host targets are added here as their sources land.
