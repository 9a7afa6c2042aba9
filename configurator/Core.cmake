# Core targets are added here as their sources land.
