# Empty dependencies file for holiday-card.
# This may be replaced when dependencies are built.
