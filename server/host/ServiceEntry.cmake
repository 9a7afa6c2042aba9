# tolvan_service and TolvanServer are added here as their sources land.
