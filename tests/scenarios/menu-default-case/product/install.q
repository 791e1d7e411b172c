[install]
Error ok h1 Version $(old_version) cannot be installed
