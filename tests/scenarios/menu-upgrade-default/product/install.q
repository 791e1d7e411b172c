[upgrade]
Error ok h1 Version $(old_version) cannot be upgraded
Text never - - h2 Not reached
