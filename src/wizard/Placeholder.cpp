// placeholder while the wizard window is written
